#include "platform/text.hpp"

#include <gtest/gtest.h>

namespace plenk::text {
namespace {

TEST(Text, GraphemesCountUserPerceivedCharacters) {
  struct Case {
    const char* text;
    std::size_t count;
  } cases[] = {
      {"", 0},
      {"abc", 3},
      {"e\xCC\x81", 1}, // e + combining acute
      {"\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 1}, // family ZWJ
      {"\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", 1},                                         // flag DE
      {"\r\n", 1},
      {"a\xFF"
       "b",
       3}, // invalid byte counts as U+FFFD
  };
  for (const auto& c : cases)
    EXPECT_EQ(graphemeCount(c.text), c.count) << c.text;
}

TEST(Text, PrefixNeverSplitsACluster) {
  std::string s = "ae\xCC\x81"
                  "b\xF0\x9F\x98\x80z";
  EXPECT_EQ(graphemePrefix(s, 0), "");
  EXPECT_EQ(graphemePrefix(s, 1), "a");
  EXPECT_EQ(graphemePrefix(s, 2), "ae\xCC\x81");
  EXPECT_EQ(graphemePrefix(s, 4), "ae\xCC\x81"
                                  "b\xF0\x9F\x98\x80");
  EXPECT_EQ(graphemePrefix(s, 99), s);
}

TEST(Text, LowerIsFullCaseMapping) {
  EXPECT_EQ(lower("Zoom"), "zoom");
  EXPECT_EQ(lower("\xC3\x84PFEL"), "\xC3\xA4pfel");
  // U+0130 lowercases to i + combining dot above (two code points).
  EXPECT_EQ(lower("\xC4\xB0"), "i\xCC\x87");
}

TEST(Text, TrimRemovesUnicodeSpacesAndLineBreaks) {
  EXPECT_EQ(trim(" \t\r\n x y \xC2\xA0\xE3\x80\x80\xE2\x80\xA8\xC2\x85"), "x y");
  EXPECT_EQ(trim("\xE2\x80\x8B"
                 "x"),
            "\xE2\x80\x8B"
            "x"); // zero-width space is not white space
  EXPECT_EQ(trim("   "), "");
  EXPECT_EQ(trim(""), "");
}

TEST(Text, SanitizeReplacesInvalidSequences) {
  EXPECT_EQ(sanitizeUtf8("ok"), "ok");
  EXPECT_EQ(sanitizeUtf8("a\xC3"), "a\xEF\xBF\xBD");
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80")); // an encoded surrogate is not UTF-8
  EXPECT_TRUE(isValidUtf8(sanitizeUtf8("\xED\xA0\x80\xFF")));
  EXPECT_FALSE(isValidUtf8("\xC0\xAF"));
}

TEST(Text, ValidPrefixStopsAtTheFirstBadOrCutSequence) {
  struct Case {
    std::string_view bytes;
    std::size_t prefix;
  } cases[] = {
      {"", 0},
      {"abc", 3},
      {"a\xC3\xA9", 3},
      {"a\xC3", 1},              // cut off: may continue in the next piece
      {"a\xF0\x9F\x98", 1},      // four-byte sequence cut after three
      {"a\xF0\x9F\x98\x80z", 6}, // the same sequence whole
      {"ab\xFF"
       "cd",
       2},                  // invalid byte
      {"x\xED\xA0\x80", 1}, // encoded surrogate
      {"\xC0\xAFx", 0},     // overlong form
  };
  for (const auto& c : cases) {
    EXPECT_EQ(validUtf8Prefix(c.bytes), c.prefix) << c.bytes;
    EXPECT_EQ(isValidUtf8(c.bytes), c.prefix == c.bytes.size()) << c.bytes;
  }
}

TEST(Text, NfcOrderComparesComposedCodePoints) {
  EXPECT_EQ(nfc("e\xCC\x81"), "\xC3\xA9");
  EXPECT_EQ(compareNfc("e\xCC\x81", "\xC3\xA9"), 0);
  EXPECT_LT(compareNfc("Zoom", "calendar"), 0); // upper case sorts first
  EXPECT_GT(compareNfc("\xC3\xA9", "z"), 0);
}

TEST(Text, Utf16RoundTrip) {
  std::string s = "a\xF0\x9F\x98\x80";
  EXPECT_EQ(toUtf16(s).size(), 3u);
  EXPECT_EQ(fromUtf16(toUtf16(s)), s);
}

} // namespace
} // namespace plenk::text
