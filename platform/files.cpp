#include "platform/files.hpp"

#include <vector>

namespace plenk {

std::string standardizePath(std::string_view path, std::string_view home) {
  std::string expanded;
  if (path == "~" || path.starts_with("~/")) {
    expanded.assign(home);
    expanded.append(path.substr(1));
  } else {
    expanded = std::string(path);
  }
  bool absolute = expanded.starts_with('/');
  std::vector<std::string_view> parts;
  std::string_view rest = expanded;
  while (!rest.empty()) {
    auto cut = rest.find('/');
    auto part = rest.substr(0, cut);
    if (!part.empty() && part != ".") parts.push_back(part);
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  std::string out = absolute ? "/" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += '/';
    out += parts[i];
  }
  if (out.empty()) return std::string(1, '.');
  return out;
}

} // namespace plenk
