#include "platform/wording.hpp"

namespace plenk {

std::string Wording::say(std::string_view message) const {
  for (const Rewording& row : rows) {
    if (!row.variable) {
      if (message == row.before) return std::string(row.newBefore);
      continue;
    }
    if (message.size() > row.before.size() + row.after.size() && message.starts_with(row.before) &&
        message.ends_with(row.after)) {
      std::string_view middle =
          message.substr(row.before.size(), message.size() - row.before.size() - row.after.size());
      std::string said(row.newBefore);
      said += middle;
      said += row.newAfter;
      return said;
    }
  }
  return std::string(message);
}

Wording macosWording() {
  return {{}, "Apple"};
}

} // namespace plenk
