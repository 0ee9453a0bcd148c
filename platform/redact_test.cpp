#include "platform/redact.hpp"
#include "platform/text.hpp"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

namespace plenk::text {
namespace {

std::vector<UChar32> codePoints(const std::string& s) {
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

UScriptCode script(UChar32 c) {
  UErrorCode status = U_ZERO_ERROR;
  return uscript_getScript(c, &status);
}

TEST(Redact, KeepsLengthScriptCaseAndEverythingButLettersAndDigits) {
  for (std::string original :
       {"Ziggy Ünal, 42 Main St.", "Привет, Мир!", "Καλημέρα", "東京都の住所", "مرحبا بالعالم",
        "naïve cafe\xCC\x81 — 10:45 ✓", "Item 1"}) {
    std::string redacted = redact(original);
    auto a = codePoints(original), b = codePoints(redacted);
    ASSERT_EQ(a.size(), b.size()) << original << " -> " << redacted;
    EXPECT_EQ(graphemeCount(original), graphemeCount(redacted)) << redacted;
    std::size_t changed = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (u_isalpha(a[i])) {
        EXPECT_TRUE(u_isalpha(b[i]) && script(b[i]) == script(a[i])) << original << " " << i;
        EXPECT_EQ(u_isupper(a[i]), u_isupper(b[i])) << original << " " << i;
      } else if (u_isdigit(a[i])) {
        EXPECT_TRUE(u_isdigit(b[i]));
      } else {
        EXPECT_EQ(a[i], b[i]) << original << " " << i;
      }
      changed += a[i] != b[i];
    }
    EXPECT_GT(changed * 2, a.size()) << original << " -> " << redacted;
    EXPECT_EQ(redact(original), redacted);
  }
  // Texts that differ stay apart: the logic drops a line that repeats the one before it.
  EXPECT_NE(redact("Item 1"), redact("Item 2"));
  EXPECT_NE(redact("Cat"), redact("Dog"));
}

} // namespace
} // namespace plenk::text
