// Whether a redacted text has the shape of its original: as many code points, a letter of the same
// script and case for each letter, a digit for each digit, everything else kept.
#pragma once

#include <cstdint>
#include <string>
#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>
#include <vector>

namespace plenk::testing {

inline std::vector<UChar32> codePointsOf(const std::string& s) {
  std::vector<UChar32> out;
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  int32_t n = static_cast<int32_t>(s.size());
  for (int32_t i = 0; i < n;) {
    UChar32 c;
    U8_NEXT(p, i, n, c);
    out.push_back(c);
  }
  return out;
}

// "" when `redacted` has the shape of `original`, else what differs.
inline std::string shapeProblem(const std::string& original, const std::string& redacted) {
  auto script = [](UChar32 c) {
    UErrorCode status = U_ZERO_ERROR;
    return uscript_getScript(c, &status);
  };
  auto a = codePointsOf(original), b = codePointsOf(redacted);
  if (a.size() != b.size()) return "\"" + redacted + "\" is not as long as \"" + original + "\"";
  for (std::size_t i = 0; i < a.size(); ++i) {
    bool kept = u_isalpha(a[i]) ? u_isalpha(b[i]) && script(a[i]) == script(b[i]) &&
                                      u_isupper(a[i]) == u_isupper(b[i])
                : u_isdigit(a[i]) ? u_isdigit(b[i])
                                  : a[i] == b[i];
    if (!kept)
      return "\"" + redacted + "\" does not keep the shape of \"" + original + "\" at " +
             std::to_string(i);
  }
  return "";
}

} // namespace plenk::testing
