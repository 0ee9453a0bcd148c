#include "hands/input/type.hpp"

#include "hands/access.hpp"
#include "hands/ax/readers.hpp"
#include "hands/ax/secure.hpp"
#include "hands/constants.hpp"
#include "hands/error.hpp"
#include "hands/input/events.hpp"
#include "hands/verbs.hpp"
#include "platform/text.hpp"

namespace plenk::hands {

namespace {
constexpr std::uint16_t RETURN_KEY_CODE = 36;
// Lets a Return or a tab take effect before the focus is looked at again.
constexpr int AFTER_FOCUS_MOVE_MS = 20;
// A browser moves the focus in another process, so it may not have moved yet when the pause
// ends. While it still sits in the single-line field the key went to, where a tab or Return
// usually moves it on (user name, then password), keep looking for up to this long.
constexpr int FOCUS_SETTLE_MS = 500;
// Bounds the typing time of one request: a single user-perceived character can hold any number
// of combining marks, so the character limit alone does not.
constexpr std::size_t MAX_TYPE_UNITS = 4 * static_cast<std::size_t>(MAX_TYPE_CHARS);

bool isHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

HandsError focusMovedIntoPassword() {
  return {"secure_field", "The cursor moved into a password field, so Vantle stopped typing."};
}

bool inPasswordField(Hands& hands, const std::optional<Element>& focused) {
  return focused && isSecure(hands.ax, *focused);
}

// The focus once a tab or Return typed while `before` had it has taken effect.
std::optional<Element> focusAfterKey(Hands& hands, const std::optional<Element>& before) {
  pauseMillis(hands, AFTER_FOCUS_MOVE_MS);
  auto focused = focusedElementNow(hands);
  if (!before || focused != before || axString(hands.ax, *before, "AXRole") != "AXTextField")
    return focused;
  for (int waited = 0; focused == before && waited < FOCUS_SETTLE_MS;
       waited += AFTER_FOCUS_MOVE_MS) {
    pauseMillis(hands, AFTER_FOCUS_MOVE_MS);
    focused = focusedElementNow(hands);
  }
  return focused;
}
} // namespace

std::vector<std::u16string> typingLines(std::string_view text) {
  std::u16string units = text::toUtf16(text);
  std::vector<std::u16string> lines(1);
  for (std::size_t i = 0; i < units.size(); ++i) {
    char16_t unit = units[i];
    if (unit == u'\r' && i + 1 < units.size() && units[i + 1] == u'\n') continue;
    if (unit == u'\n')
      lines.emplace_back();
    else
      lines.back() += unit;
  }
  return lines;
}

std::vector<std::u16string_view> typingChunks(std::u16string_view line) {
  std::vector<std::u16string_view> chunks;
  while (!line.empty()) {
    std::size_t take = std::min(line.size(), MAX_CHUNK_UNITS);
    if (take < line.size() && isHighSurrogate(line[take - 1])) --take;
    // A tab can move the focus to the next field, so it ends its chunk.
    if (auto tab = line.substr(0, take).find(u'\t'); tab != std::u16string_view::npos)
      take = tab + 1;
    chunks.push_back(line.substr(0, take));
    line.remove_prefix(take);
  }
  return chunks;
}

Json verbType(Hands& hands, const Json& args) {
  requireAccessibility(hands);
  auto found = args.find("text");
  if (found == args.end() || !found->is_string() || found->get_ref<const std::string&>().empty())
    throw HandsError{"bad_args", "text must be a non-empty string."};
  const std::string& text = found->get_ref<const std::string&>();
  if (text::graphemeCount(text) > static_cast<std::size_t>(MAX_TYPE_CHARS))
    throw HandsError{"bad_args", "That is too much text to type in one go."};
  auto lines = typingLines(text);
  std::size_t units = 0;
  for (const auto& line : lines)
    units += line.size();
  if (units > MAX_TYPE_UNITS)
    throw HandsError{"bad_args", "That is too much text to type in one go."};

  auto focused = focusedElementNow(hands);
  if (inPasswordField(hands, focused))
    throw HandsError{"secure_field",
                     "The cursor is in a password field, and Vantle never types into one."};

  // A character the desktop cannot type ends the request before anything is typed: never a
  // different one in its place.
  for (const auto& line : lines)
    if (!hands.input.canType(line))
      throw HandsError{"helper_failed", "macOS would not create the typing."};
  auto source = eventSource(hands);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    for (auto chunk : typingChunks(lines[i])) {
      typeChunk(hands, chunk, source);
      // A typed tab moves the focus like Return does (user name, tab, password): look again.
      if (chunk.back() == u'\t') {
        focused = focusAfterKey(hands, focused);
        if (inPasswordField(hands, focused)) throw focusMovedIntoPassword();
      }
    }
    if (i + 1 == lines.size()) break;
    // A line break can move the focus (a login form's next field): look again before going on.
    postKey(hands, RETURN_KEY_CODE, 0, source);
    focused = focusAfterKey(hands, focused);
    if (inPasswordField(hands, focused)) throw focusMovedIntoPassword();
  }
  return Json::object();
}

} // namespace plenk::hands
