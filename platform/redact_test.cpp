#include "platform/redact.hpp"
#include "platform/text.hpp"
#include "tests/support/text_shape.hpp"

#include <gtest/gtest.h>

namespace plenk::text {
namespace {

using testing::codePointsOf;
using testing::shapeProblem;

TEST(Redact, KeepsLengthScriptCaseAndEverythingButLettersAndDigits) {
  for (std::string original :
       {"Ziggy Ünal, 42 Main St.", "Привет, Мир!", "Καλημέρα", "東京都の住所", "مرحبا بالعالم",
        "naïve cafe\xCC\x81 — 10:45 ✓", "Item 1"}) {
    std::string redacted = redact(original);
    EXPECT_EQ(shapeProblem(original, redacted), "");
    EXPECT_EQ(graphemeCount(original), graphemeCount(redacted)) << redacted;
    auto a = codePointsOf(original), b = codePointsOf(redacted);
    ASSERT_EQ(a.size(), b.size());
    std::size_t changed = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
      changed += a[i] != b[i];
    EXPECT_GT(changed * 2, a.size()) << original << " -> " << redacted;
    EXPECT_EQ(redact(original), redacted);
  }
  // Texts that differ stay apart: the logic drops a line that repeats the one before it.
  EXPECT_NE(redact("Item 1"), redact("Item 2"));
  EXPECT_NE(redact("Cat"), redact("Dog"));
}

} // namespace
} // namespace plenk::text
