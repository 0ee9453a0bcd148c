// Unicode text operations, on ICU. Strings are UTF-8 throughout.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plenk::text {

// Replaces every invalid UTF-8 sequence with U+FFFD.
std::string sanitizeUtf8(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);
// The length of the longest prefix of `bytes` made of whole valid UTF-8 sequences: where the first
// invalid sequence begins, or where a sequence is cut off by the end of `bytes`. Lets text that
// arrives in pieces be checked as it comes (a sequence is at most four bytes long).
std::size_t validUtf8Prefix(std::string_view bytes);

// User-perceived characters: extended grapheme clusters.
std::size_t graphemeCount(std::string_view utf8);
// The first `count` grapheme clusters (the whole text when it has fewer).
std::string graphemePrefix(std::string_view utf8, std::size_t count);
// The number of grapheme clusters, counted no further than `limit`: min(count, limit).
std::size_t graphemeCountUpTo(std::string_view utf8, std::size_t limit);

// The first `count` grapheme clusters of a text (invalid UTF-8 replaced), how many clusters
// they are, and whether the text goes on past them. Reads the text only up to the cut.
struct GraphemeCut {
  std::string text;
  std::size_t count = 0;
  bool more = false;
};
GraphemeCut graphemeCut(std::string utf8, std::size_t count);

// Full Unicode lowercasing (one code point may become several).
std::string lower(std::string_view utf8);

// White space and line breaks: general category Zs, U+0009..U+000D, U+0085, U+2028, U+2029.
bool isSpaceOrNewline(char32_t c);
std::string_view trim(std::string_view utf8);

// Canonical composition (NFC).
std::string nfc(std::string_view utf8);
// Code-point order of the NFC forms of two texts: negative, zero or positive.
int compareNfc(std::string_view a, std::string_view b);

// UTF-16 conversions (invalid input is sanitised first).
std::u16string toUtf16(std::string_view utf8);
std::string fromUtf16(std::u16string_view utf16);

} // namespace plenk::text
