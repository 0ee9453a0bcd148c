// Typing: text goes out as keyboard events that carry the characters themselves, a few at a
// time, with a Return press for each line break; never into a password field.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace plenk::hands {

// Most UTF-16 units one typed chunk carries.
inline constexpr std::size_t MAX_CHUNK_UNITS = 16;

// The lines of a text as UTF-16: CR LF counts as LF, and every LF ends a line (so a trailing
// LF leaves a last, empty line). A lone CR stays in its line as a character.
std::vector<std::u16string> typingLines(std::string_view text);

// One line cut into chunks of at most MAX_CHUNK_UNITS units, never between the two halves of
// a surrogate pair; a tab ends its chunk. An empty line has no chunk.
std::vector<std::u16string_view> typingChunks(std::u16string_view line);

} // namespace plenk::hands
