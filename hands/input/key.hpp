// Key chords: the grammar that turns a text such as "cmd+s" into one key press.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plenk::hands {

// Longest key text, in user-perceived characters as received.
inline constexpr std::size_t MAX_KEY_CHARS = 60;

// What a chord presses: one key, with the modifiers as flags on its down and up events.
struct Chord {
  std::uint16_t code = 0;
  std::uint64_t flags = 0;
};

// The press a key text names, or HandsError "bad_key". Messages quote the text as received.
Chord parseChord(std::string_view key);

} // namespace plenk::hands
