// JSON values (nlohmann::json) and the compact writers of the two programs.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace plenk {

// Objects keep their keys in a std::map: ascending byte order, which for UTF-8 is code-point order.
using Json = nlohmann::json;

namespace json {

// Parses one JSON text; nothing when it is not valid JSON.
std::optional<Json> parse(std::string_view text);

// Values nested deeper than this are not written (the writers recurse).
inline constexpr int MAX_WRITE_DEPTH = 512;

// True when every number is finite and nesting is within MAX_WRITE_DEPTH (the writers check the
// UTF-8 of strings themselves).
bool writable(const Json& value);

// Compact text with no options, or nothing when the value cannot be written.
std::optional<std::string> writeCompact(const Json& value);

// Compact text with keys in code-point order and "/" written as "\/", or nothing.
std::optional<std::string> writeSorted(const Json& value);

} // namespace json
} // namespace plenk
