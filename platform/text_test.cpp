#include "platform/text.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <unicode/brkiter.h>
#include <unicode/unistr.h>
#include <vector>

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

TEST(Text, CutStopsAtTheCountAndTellsWhetherMoreFollows) {
  const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9"; // man ZWJ woman
  struct Case {
    const char* name;
    std::string text;
    std::size_t count;
    std::string kept;
    std::size_t keptCount;
    bool more;
  } cases[] = {
      {"empty", "", 3, "", 0, false},
      {"zero of empty", "", 0, "", 0, false},
      {"zero of some", "ab", 0, "", 0, true},
      {"shorter than the count", "ab", 3, "ab", 2, false},
      {"exactly the count", "abc", 3, "abc", 3, false},
      {"one more", "abcd", 3, "abc", 3, true},
      {"CR LF is one", "a\r\nb", 2, "a\r\n", 2, true},
      {"combining mark stays", "xe\xCC\x81y", 2, "xe\xCC\x81", 2, true},
      {"ZWJ sequence stays whole", "a" + family + "b", 2, "a" + family, 2, true},
      {"invalid byte replaced",
       "a\xFF"
       "b",
       2, "a\xEF\xBF\xBD", 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const GraphemeCut cut = graphemeCut(c.text, c.count);
    EXPECT_EQ(cut.text, c.kept);
    EXPECT_EQ(cut.count, c.keptCount);
    EXPECT_EQ(cut.more, c.more);
  }
}

TEST(Text, CountUpToStopsAtTheLimit) {
  EXPECT_EQ(graphemeCountUpTo("abcdef", 4), 4u);
  EXPECT_EQ(graphemeCountUpTo("abc", 4), 3u);
  EXPECT_EQ(graphemeCountUpTo("e\xCC\x81"
                              "e\xCC\x81",
                              4),
            2u);
  EXPECT_EQ(graphemeCountUpTo("abc", 0), 0u);
  EXPECT_EQ(graphemeCountUpTo("", 5), 0u);
}

// ICU's own answer, straight over UTF-16: the boundaries as UTF-8 byte offsets.
std::vector<std::size_t> icuBoundaries(const std::string& utf8) {
  const icu::UnicodeString u = icu::UnicodeString::fromUTF8(utf8);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> it(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  it->setText(u);
  std::vector<std::size_t> out;
  it->first();
  for (int32_t b = it->next(); b != icu::BreakIterator::DONE; b = it->next()) {
    std::string prefix;
    u.tempSubString(0, b).toUTF8String(prefix);
    out.push_back(prefix.size());
  }
  return out;
}

// Texts mixing ASCII with everything that can join onto or around it.
TEST(Text, CountingAndCuttingAgreeWithIcuOnMixedTexts) {
  const std::vector<std::string> pieces = {
      "a",
      "Z",
      " ",
      "1",
      "#",
      "*",
      "\r",
      "\n",
      "\t",
      "\xCC\x81",         // combining acute
      "\xE2\x80\x8D",     // zero-width joiner
      "\xEF\xB8\x8F",     // variation selector 16
      "\xF0\x9F\x87\xA9", // regional indicator D
      "\xF0\x9F\x91\xA8", // man (pictographic)
      "\xE2\x83\xA3",     // combining enclosing keycap
      "\xE0\xA4\x95",     // Devanagari ka
      "\xE0\xA4\xBE",     // Devanagari sign aa (spacing mark)
      "\xD8\x80",         // Arabic number sign (prepend)
      "\xE1\x84\x80",     // Hangul choseong
      "\xE1\x85\xA1",     // Hangul jungseong
      "\xC3\xA9",         // e acute, precomposed
  };
  std::mt19937 random(20261209);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i)
      text += pieces[random() % pieces.size()];
    const std::vector<std::size_t> expected = icuBoundaries(text);
    SCOPED_TRACE(::testing::PrintToString(text));
    ASSERT_EQ(graphemeCount(text), expected.size());
    for (std::size_t count = 1; count <= expected.size(); ++count) {
      const GraphemeCut cut = graphemeCut(text, count);
      ASSERT_EQ(cut.text, text.substr(0, expected[count - 1])) << count;
      ASSERT_EQ(cut.more, count < expected.size()) << count;
      ASSERT_EQ(graphemeCountUpTo(text, count), count);
    }
  }
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
  // A lone surrogate (damaged text layers have them) becomes U+FFFD, never invalid UTF-8.
  EXPECT_EQ(fromUtf16(u"a\xD800"
                      u"b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(fromUtf16(u"\xDC00"), "\xEF\xBF\xBD");
}

} // namespace
} // namespace plenk::text
