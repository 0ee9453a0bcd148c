#include "hands/line_reader.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace plenk::hands {
namespace {

TEST(ScreenLine, SanitisesTrimsAndCountsBytes) {
  struct Case {
    std::string raw;
    LineKind kind;
    std::string text;
  } cases[] = {
      {"", LineKind::Blank, ""},
      {" \t\r\v\f\xC2\x85\xE2\x80\xA8\xE2\x80\xA9\xE3\x80\x80\xC2\xA0", LineKind::Blank, ""},
      {" {} \r", LineKind::Request, "{}"},
      {"\xFF{\"a\":\"\xC3\"}", LineKind::Request, "\xEF\xBF\xBD{\"a\":\"\xEF\xBF\xBD\"}"},
      {"\xE2\x80\x8B{}", LineKind::Request, "\xE2\x80\x8B{}"}, // zero-width space stays
      {std::string(1'000'000, 'a'), LineKind::Request, std::string(1'000'000, 'a')},
      {"  " + std::string(1'000'000, 'a') + "\t\r", LineKind::Request, std::string(1'000'000, 'a')},
      {std::string(1'000'001, 'a'), LineKind::TooLong, ""},
      {std::string(999'998, 'a') + "\xFF", LineKind::TooLong, ""},
      {std::string(999'997, 'a') + "\xFF", LineKind::Request,
       std::string(999'997, 'a') + "\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raw.substr(0, 40));
    ScreenedLine s = screenLine(c.raw);
    EXPECT_EQ(s.kind, c.kind);
    EXPECT_EQ(requestText(s, c.raw), c.text);
  }
}

// What the reader hands on for `input` read in pieces of `piece` bytes.
struct Split {
  std::vector<std::string> lines;
  int tooLong = 0;
  int chunks = 0;
};

Split readInPieces(std::string_view input, std::size_t piece) {
  LineReader reader;
  Split out;
  // Lines are read out only at the end: a chunk must stay whole while the reader reuses its
  // buffer, as it does while the main thread works through it.
  std::vector<std::unique_ptr<LineChunk>> chunks;
  auto take = [&] {
    if (auto chunk = reader.take()) chunks.push_back(std::move(chunk));
  };
  while (!input.empty()) {
    std::span<char> space = reader.space();
    std::size_t n = std::min({piece, space.size(), input.size()});
    std::copy_n(input.data(), n, space.data());
    input.remove_prefix(n);
    out.tooLong += reader.received(n);
    take();
  }
  out.tooLong += reader.finish();
  take();
  out.chunks = static_cast<int>(chunks.size());
  for (const auto& chunk : chunks)
    for (auto line : chunk->lines)
      out.lines.emplace_back(line);
  return out;
}

// The same lines split and screened one by one, as the host means them.
Split oneByOne(std::string_view input) {
  Split out;
  while (!input.empty()) {
    std::size_t nl = input.find('\n');
    std::string_view raw = input.substr(0, nl);
    input = nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1);
    ScreenedLine line = screenLine(raw);
    if (line.kind == LineKind::TooLong) ++out.tooLong;
    if (line.kind == LineKind::Request) out.lines.emplace_back(requestText(line, raw));
  }
  return out;
}

TEST(LineReader, ReadsInAnyPiecesGiveTheLinesOfTheWholeInput) {
  std::string exact = "{\"id\":\"" + std::string(1'000'000 - 9, 'e') + "\"}";
  std::string shortInputs[] = {
      "{\"id\":1}\n\n  \t\n{\"id\":2}\r\n",
      "\xE3\x80\x80{\"s\":\"\xC3\xA9\xF0\x9F\x98\x80\"}\xC2\xA0\n{}", // wide spaces, no last feed
      "{\"a\":\"\xF0\x9F\x98\"}\n{\"b\":\"\xC3\"}\n\xFF\xFE\n{\"c\":\"\xED\xA0\x80\"}", // invalid
      "\n\n\n",
      "",
  };
  for (const auto& input : shortInputs)
    for (std::size_t piece : {1, 2, 3, 5, 4096, 1 << 20}) {
      SCOPED_TRACE(testing::Message() << input.substr(0, 20) << " in pieces of " << piece);
      Split split = readInPieces(input, piece);
      Split expected = oneByOne(input);
      EXPECT_EQ(split.lines, expected.lines);
      EXPECT_EQ(split.tooLong, expected.tooLong);
    }
  // Long lines at the limit, an invalid byte deep inside one, and a line too long to keep.
  std::string withBad = exact;
  withBad[500'000] = '\xFF';
  std::string longInputs[] = {
      exact + "\n" + exact + "x\n{}\n",
      "  " + exact + " \r\n" + withBad + "\n" + withBad.substr(0, 999'998) + "\"}\n",
      std::string(17'000'000, ' ') + "{}\n{\"after\":1}\n",
      "{}\n" + std::string(17'000'000, 'x'),
  };
  for (const auto& input : longInputs)
    for (std::size_t piece : {4093, 65536, 1 << 22}) {
      SCOPED_TRACE(testing::Message() << input.size() << " bytes in pieces of " << piece);
      Split split = readInPieces(input, piece);
      Split expected = oneByOne(input);
      // A line of more than 16 MB is refused whatever trimming would leave of it.
      if (input.size() > 16'000'000 && input.starts_with(' ')) expected = {{"{\"after\":1}"}, 1, 0};
      EXPECT_EQ(split.lines, expected.lines);
      EXPECT_EQ(split.tooLong, expected.tooLong);
    }
}

TEST(LineReader, AllRequestsOfOneReadGoOnTogether) {
  std::string input;
  for (int i = 0; i < 1000; ++i)
    input += "{\"id\":" + std::to_string(i) + "}\n";
  Split split = readInPieces(input, input.size());
  EXPECT_EQ(split.chunks, 1);
  ASSERT_EQ(split.lines.size(), 1000u);
  EXPECT_EQ(split.lines[999], "{\"id\":999}");
}

} // namespace
} // namespace plenk::hands
