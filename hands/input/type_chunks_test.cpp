#include "hands/input/type.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace plenk::hands {
namespace {

std::vector<std::u16string> chunksOf(std::u16string_view line) {
  std::vector<std::u16string> out;
  for (auto chunk : typingChunks(line))
    out.emplace_back(chunk);
  return out;
}

const std::u16string EMOJI = u"\U0001F600"; // outside the BMP: two units

TEST(TypingChunks, CutsAtSixteenUnitsAndNeverSplitsASurrogatePair) {
  struct Case {
    const char* what;
    std::u16string line;
    std::vector<std::u16string> chunks;
  };
  const std::u16string a16(16, u'a');
  const Case cases[] = {
      {"empty line", u"", {}},
      {"five letters", u"hello", {u"hello"}},
      {"exactly sixteen", a16, {a16}},
      {"seventeen", a16 + u"b", {a16, u"b"}},
      {"forty",
       std::u16string(40, u'x'),
       {std::u16string(16, u'x'), std::u16string(16, u'x'), std::u16string(8, u'x')}},
      {"pair straddles the cut",
       std::u16string(15, u'a') + EMOJI,
       {std::u16string(15, u'a'), EMOJI}},
      {"pair straddles, more after",
       std::u16string(15, u'a') + EMOJI + u"bc",
       {std::u16string(15, u'a'), EMOJI + u"bc"}},
      {"pair ends exactly at sixteen",
       std::u16string(14, u'a') + EMOJI + u"b",
       {std::u16string(14, u'a') + EMOJI, u"b"}},
      {"eight emoji fill one chunk",
       EMOJI + EMOJI + EMOJI + EMOJI + EMOJI + EMOJI + EMOJI + EMOJI + EMOJI,
       {EMOJI + EMOJI + EMOJI + EMOJI + EMOJI + EMOJI + EMOJI + EMOJI, EMOJI}},
      {"a tab ends its chunk", u"user\tpass", {u"user\t", u"pass"}},
      {"tab at the cut",
       std::u16string(15, u'a') + u"\tb",
       {std::u16string(15, u'a') + u"\t", u"b"}},
      {"tabs in a row", u"\t\tx", {u"\t", u"\t", u"x"}},
      // Grapheme clusters are not kept together: the accent goes into the next chunk.
      {"combining mark at the cut", a16 + u"\u0301", {a16, u"\u0301"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(chunksOf(c.line), c.chunks);
  }
}

TEST(TypingChunks, EveryChunkOfALongMixedLineIsWholeAndSmall) {
  std::u16string line;
  for (int i = 0; i < 300; ++i)
    line += (i % 3 == 0) ? EMOJI : u"q";
  auto chunks = typingChunks(line);
  std::u16string joined;
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    EXPECT_LE(chunks[i].size(), MAX_CHUNK_UNITS);
    if (i + 1 < chunks.size()) {
      EXPECT_GE(chunks[i].size(), MAX_CHUNK_UNITS - 1);
    }
    EXPECT_FALSE(chunks[i].back() >= 0xD800 && chunks[i].back() <= 0xDBFF);
    joined += chunks[i];
  }
  EXPECT_EQ(joined, line);
}

TEST(TypingLines, TurnsLineFeedsAndCrLfIntoLineBreaksOnly) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::u16string> lines;
  };
  const Case cases[] = {
      {"one line", "abc", {u"abc"}},
      {"cr lf", "a\r\nb", {u"a", u"b"}},
      {"lone cr stays a character", "a\rb", {u"a\rb"}},
      {"cr cr lf keeps the first cr", "a\r\r\nb", {u"a\r", u"b"}},
      {"trailing line feed", "abc\n", {u"abc", u""}},
      {"only a line feed", "\n", {u"", u""}},
      {"two line feeds", "a\n\nb", {u"a", u"", u"b"}},
      {"trailing cr", "a\r", {u"a\r"}},
      {"tabs and controls stay", "a\tb\x01", {u"a\tb\x01"}},
      {"lf cr", "a\n\rb", {u"a", u"\rb"}},
      {"non-BMP", "\xF0\x9F\x98\x80\nx", {EMOJI, u"x"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(typingLines(c.text), c.lines);
  }
}

} // namespace
} // namespace plenk::hands
