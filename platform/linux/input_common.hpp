// What the Linux input backends (X11, wlroots, Mutter) do alike: the events they make once they
// know whether they can post now, and the code points of a text to type.
#pragma once

#include "platform/input_events.hpp"
#include "platform/linux/ansi_keys.hpp"

#include <cmath>
#include <optional>
#include <string_view>
#include <unicode/utf16.h>
#include <vector>

namespace plenk::input {

inline std::optional<KeyEvent> keyEvent(bool usable, const std::optional<EventSource>& source,
                                        std::uint16_t keyCode, bool down) {
  if (!usable || !keys::ansiKey(keyCode)) return std::nullopt;
  return KeyEvent{.source = source, .keyCode = keyCode, .down = down};
}

inline std::optional<MouseEvent> mouseEvent(bool usable, const std::optional<EventSource>& source,
                                            MouseEventType type, Point point, MouseButton button) {
  if (!usable || !std::isfinite(point.x) || !std::isfinite(point.y)) return std::nullopt;
  return MouseEvent{.source = source, .type = type, .point = point, .button = button};
}

inline std::optional<ScrollEvent> scrollEvent(bool usable, const std::optional<EventSource>& source,
                                              std::int32_t vertical, std::int32_t horizontal) {
  if (!usable) return std::nullopt;
  return ScrollEvent{.source = source, .vertical = vertical, .horizontal = horizontal};
}

// The code points of UTF-16 text; a lone surrogate is U+FFFD.
inline std::vector<char32_t> codePoints(std::u16string_view units) {
  std::vector<char32_t> out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size();) {
    UChar32 c = 0;
    U16_NEXT(units.data(), i, units.size(), c);
    out.push_back(U_IS_SURROGATE(c) ? 0xfffd : static_cast<char32_t>(c));
  }
  return out;
}

} // namespace plenk::input
