#include "platform/json.hpp"

#include <cmath>
#include <vector>

namespace plenk::json {

std::optional<Json> parse(std::string_view text) {
  Json value = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) return std::nullopt;
  return value;
}

bool writable(const Json& root) {
  // Explicit stack: a hostile value may be nested far deeper than the call stack allows.
  std::vector<std::pair<const Json*, int>> stack;
  stack.reserve(32); // one allocation for the answers of most requests
  stack.emplace_back(&root, 1);
  while (!stack.empty()) {
    auto [v, depth] = stack.back();
    stack.pop_back();
    if (depth > MAX_WRITE_DEPTH) return false;
    switch (v->type()) {
    case Json::value_t::number_float:
      if (!std::isfinite(v->get<double>())) return false;
      break;
    case Json::value_t::object:
    case Json::value_t::array:
      for (const auto& item : *v)
        stack.emplace_back(&item, depth + 1);
      break;
    default:
      break;
    }
  }
  return true;
}

std::optional<std::string> writeCompact(const Json& value) {
  if (!writable(value)) return std::nullopt;
  // The writer checks the UTF-8 of every string and key as it copies it (and throws on a bad
  // one), so the text of a megabyte string is read once here, not twice.
  try {
    return value.dump();
  } catch (const Json::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> writeSorted(const Json& value) {
  auto text = writeCompact(value);
  if (!text) return std::nullopt;
  // Outside strings compact JSON holds no "/", so every one is inside a string.
  std::string out;
  out.reserve(text->size() + 16);
  for (char c : *text) {
    if (c == '/') out += '\\';
    out += c;
  }
  return out;
}

} // namespace plenk::json
