// Splits what the host writes into request lines, on the reader thread: trims and counts each line
// and checks its UTF-8 while its bytes arrive, without copying them line by line.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plenk::hands {

// What the reader makes of one raw line (without its line feed).
enum class LineKind { Blank, TooLong, Request };
struct ScreenedLine {
  LineKind kind = LineKind::Blank;
  // A request whose raw bytes were valid UTF-8: its trimmed text is raw[begin, begin + size).
  std::size_t begin = 0;
  std::size_t size = 0;
  // A request whose raw bytes held invalid UTF-8: its repaired and trimmed text.
  std::unique_ptr<std::string> repaired;
};

// `valid`: whether `raw` is already known to be valid UTF-8.
ScreenedLine screenLine(std::string_view raw, bool valid);
ScreenedLine screenLine(std::string_view raw);
// The text of a screened request (empty for the other kinds); valid while `raw` and `line` live.
std::string_view requestText(const ScreenedLine& line, std::string_view raw);

// The request lines completed by one or more reads, and the bytes they point into: handed to the
// main thread as one task, so a read of many short requests costs one allocation and one wake-up,
// and a long request is never copied on its way.
struct LineChunk {
  std::unique_ptr<char[]> bytes;
  std::vector<std::string_view> lines; // trimmed, valid UTF-8, in input order
  std::deque<std::string> repaired;    // the lines that held invalid UTF-8, repaired
};

// Use: read into space(), report with received(n), then take() the requests found and hand them
// on (before asking for space again); at end of input finish() and take() once more.
class LineReader {
public:
  // Where the next read goes; never empty.
  std::span<char> space();
  // `n` bytes were read into space(). Returns how many lines were too long (each to be answered).
  int received(std::size_t n);
  // End of input: bytes after the last line feed form a last line. Returns as received().
  int finish();
  // The requests found since the last take, or nothing when there are none.
  std::unique_ptr<LineChunk> take();

private:
  int endLine(std::size_t end);
  void checkUtf8();

  std::unique_ptr<LineChunk> chunk_ = std::make_unique<LineChunk>();
  std::size_t capacity_ = 0;
  std::size_t start_ = 0;   // where the unfinished line begins
  std::size_t end_ = 0;     // end of the bytes read
  std::size_t checked_ = 0; // the unfinished line is valid UTF-8 up to here
  bool invalid_ = false;    // the unfinished line holds invalid UTF-8
  bool overlong_ = false;   // the unfinished line outgrew MAX_RAW_LINE_BYTES; its bytes are dropped
};

} // namespace plenk::hands
