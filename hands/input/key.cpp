#include "hands/input/key.hpp"

#include "hands/access.hpp"
#include "hands/constants.hpp"
#include "hands/error.hpp"
#include "hands/input/events.hpp"
#include "hands/verbs.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <string>
#include <vector>

namespace plenk::hands {

namespace {

HandsError notAShortKey() {
  return {"bad_key", "key must be a short string like cmd+s."};
}

HandsError noSuchKey(std::string_view key) {
  return {"bad_key", "There is no key called " + std::string(key) + "."};
}

template <class Table> auto lookUp(const Table& table, std::string_view name) {
  return std::find_if(table.begin(), table.end(),
                      [&](const auto& entry) { return entry.first == name; });
}

} // namespace

Chord parseChord(std::string_view key) {
  if (key.empty() || text::graphemeCount(key) > MAX_KEY_CHARS) throw notAShortKey();

  // Only U+0020 goes: a tab stays in the chord and so names no key.
  std::string chord = text::lower(key);
  std::erase(chord, ' ');

  if (chord.ends_with("++")) throw noSuchKey(key);
  if (chord.ends_with('+')) chord.pop_back();

  // Empty parts count: "cmd++s" has an empty modifier name between cmd and s.
  std::vector<std::string_view> parts;
  std::string_view rest = chord;
  for (;;) {
    auto plus = rest.find('+');
    parts.push_back(rest.substr(0, plus));
    if (plus == std::string_view::npos) break;
    rest.remove_prefix(plus + 1);
  }

  // The last part is always the key, and it is looked up before any modifier.
  auto keyEntry = lookUp(KEY_CODES, parts.back());
  if (keyEntry == KEY_CODES.end()) throw noSuchKey(key);
  Chord result{keyEntry->second, 0};
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    auto modifier = lookUp(MODIFIERS, parts[i]);
    if (modifier == MODIFIERS.end())
      throw HandsError{"bad_key",
                       std::string(parts[i]) + " is not a modifier (cmd, shift, alt, ctrl)."};
    result.flags |= modifier->second;
  }
  return result;
}

Json verbKey(Hands& hands, const Json& args) {
  requireAccessibility(hands);
  auto key = args.find("key");
  if (key == args.end() || !key->is_string()) throw notAShortKey();
  Chord chord = parseChord(key->get_ref<const std::string&>());
  postKey(hands, chord.code, chord.flags, eventSource(hands));
  return Json::object();
}

} // namespace plenk::hands
