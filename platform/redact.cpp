#include "platform/redact.hpp"

#include "platform/text.hpp"

#include <cstdint>
#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace plenk::text {

namespace {

// How far past the first letter of a script a stand-in may lie.
constexpr std::uint64_t SPREAD = 24;

std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}

// The first letter of a script: Latin a, Cyrillic а, Greek α, else ICU's sample letter ("字" for
// Han, "あ" for Hiragana).
UChar32 firstLetter(UScriptCode script) {
  switch (script) {
  case USCRIPT_LATIN:
    return U'a';
  case USCRIPT_CYRILLIC:
    return U'а';
  case USCRIPT_GREEK:
    return U'α';
  default: {
    UChar sample[8];
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = uscript_getSampleString(script, sample, 8, &status);
    if (U_FAILURE(status) || n == 0) return U'a';
    UChar32 c;
    int32_t i = 0;
    U16_NEXT(sample, i, n, c);
    return c;
  }
  }
}

UScriptCode scriptOf(UChar32 c) {
  UErrorCode status = U_ZERO_ERROR;
  UScriptCode script = uscript_getScript(c, &status);
  return U_FAILURE(status) ? USCRIPT_INVALID_CODE : script;
}

// A letter of the same script and case as `c`, picked by `h`.
UChar32 letterLike(UChar32 c, std::uint64_t h) {
  UScriptCode script = scriptOf(c);
  UChar32 first = firstLetter(script);
  auto sameCase = [&](UChar32 x) {
    if (u_isupper(c)) return u_toupper(x);
    if (u_islower(c)) return u_tolower(x);
    return x;
  };
  UChar32 pick = sameCase(first + static_cast<UChar32>(h % SPREAD));
  if (u_isalpha(pick) && scriptOf(pick) == script && u_isupper(pick) == u_isupper(c) &&
      u_islower(pick) == u_islower(c))
    return pick;
  return sameCase(first);
}

} // namespace

std::string redact(std::string_view utf8) {
  std::string valid = sanitizeUtf8(utf8);
  // The same text always becomes the same; different texts almost always stay different (the
  // logic drops a line that repeats the one before it).
  std::uint64_t seed = 0xcbf29ce484222325ULL;
  for (unsigned char b : valid)
    seed = (seed ^ b) * 0x100000001b3ULL;
  std::string out;
  out.reserve(valid.size());
  const auto* p = reinterpret_cast<const uint8_t*>(valid.data());
  int32_t n = static_cast<int32_t>(valid.size());
  for (int32_t i = 0; i < n;) {
    UChar32 c;
    U8_NEXT(p, i, n, c);
    std::uint64_t h = mix(seed + static_cast<std::uint64_t>(i));
    UChar32 r = c;
    if (u_isdigit(c))
      r = U'0' + static_cast<UChar32>(h % 10);
    else if (u_isalpha(c))
      r = letterLike(c, h);
    char buffer[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(reinterpret_cast<uint8_t*>(buffer), length, r);
    out.append(buffer, static_cast<std::size_t>(length));
  }
  return out;
}

} // namespace plenk::text
