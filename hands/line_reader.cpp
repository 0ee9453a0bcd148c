#include "hands/line_reader.hpp"

#include "hands/constants.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>

namespace plenk::hands {

namespace {

// What one read asks for; a pipe holds 64 KiB.
constexpr std::size_t READ_SIZE = 1 << 16;
// Below this much room the buffer is compacted or grown before the next read.
constexpr std::size_t MIN_READ = 1 << 14;
// A raw line longer than this is refused without being kept: no trimming of white space could
// bring it under the limit in practice, and keeping it would let one line exhaust memory.
constexpr std::size_t MAX_RAW_LINE_BYTES = 16 * MAX_LINE_BYTES;
// The longest UTF-8 sequence: one that fails with this many bytes in view is invalid, not cut.
constexpr std::size_t MAX_SEQUENCE = 4;

} // namespace

ScreenedLine screenLine(std::string_view raw, bool valid) {
  ScreenedLine out;
  std::string_view trimmed;
  if (valid) {
    trimmed = text::trim(raw);
    out.begin = static_cast<std::size_t>(trimmed.data() - raw.data());
  } else {
    // Repairing never shortens a line, so its size counts after the repair.
    out.repaired = std::make_unique<std::string>(text::sanitizeUtf8(raw));
    trimmed = text::trim(*out.repaired);
    *out.repaired = std::string(trimmed);
    trimmed = *out.repaired;
  }
  out.size = trimmed.size();
  if (trimmed.empty())
    out.kind = LineKind::Blank;
  else if (trimmed.size() > MAX_LINE_BYTES)
    out.kind = LineKind::TooLong;
  else
    out.kind = LineKind::Request;
  return out;
}

ScreenedLine screenLine(std::string_view raw) {
  return screenLine(raw, text::isValidUtf8(raw));
}

std::string_view requestText(const ScreenedLine& line, std::string_view raw) {
  if (line.kind != LineKind::Request) return {};
  if (line.repaired) return *line.repaired;
  return raw.substr(line.begin, line.size);
}

std::span<char> LineReader::space() {
  // take() has handed on every line that pointed into the buffer, so its bytes may move.
  assert(chunk_->lines.empty());
  if (capacity_ - end_ < MIN_READ) {
    std::size_t keep = end_ - start_;
    char* old = chunk_->bytes.get();
    if (capacity_ - keep >= READ_SIZE) {
      std::memmove(old, old + start_, keep);
    } else {
      // A long line doubles its room, so its bytes are copied about once in all.
      std::size_t capacity = std::max(READ_SIZE, 2 * keep + MIN_READ);
      auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
      if (keep > 0) std::memcpy(bytes.get(), old + start_, keep);
      chunk_->bytes = std::move(bytes);
      capacity_ = capacity;
    }
    checked_ -= start_;
    start_ = 0;
    end_ = keep;
  }
  return {chunk_->bytes.get() + end_, capacity_ - end_};
}

void LineReader::checkUtf8() {
  if (invalid_ || overlong_) return;
  std::string_view rest(chunk_->bytes.get() + checked_, end_ - checked_);
  std::size_t good = text::validUtf8Prefix(rest);
  checked_ += good;
  // A sequence that fails with all its bytes in view is invalid; one cut off by the end of what
  // has been read is checked again when more arrives.
  if (rest.size() - good >= MAX_SEQUENCE) invalid_ = true;
}

int LineReader::endLine(std::size_t end) {
  bool tooLong = overlong_ || end - start_ > MAX_RAW_LINE_BYTES;
  int answered = 0;
  if (tooLong) {
    answered = 1;
  } else {
    std::string_view raw(chunk_->bytes.get() + start_, end - start_);
    bool valid = !invalid_ && text::validUtf8Prefix(raw.substr(checked_ - start_)) ==
                                  raw.size() - (checked_ - start_);
    ScreenedLine line = screenLine(raw, valid);
    if (line.kind == LineKind::TooLong) {
      answered = 1;
    } else if (line.kind == LineKind::Request) {
      if (line.repaired) {
        chunk_->repaired.push_back(std::move(*line.repaired));
        chunk_->lines.emplace_back(chunk_->repaired.back());
      } else {
        chunk_->lines.push_back(raw.substr(line.begin, line.size));
      }
    }
  }
  start_ = end;
  checked_ = end;
  invalid_ = false;
  overlong_ = false;
  return answered;
}

int LineReader::received(std::size_t n) {
  assert(n <= capacity_ - end_);
  char* bytes = chunk_->bytes.get();
  std::size_t scan = end_;
  end_ += n;
  int tooLong = 0;
  // Only the new bytes are searched: those before them held no line feed.
  while (const void* nl = std::memchr(bytes + scan, '\n', end_ - scan)) {
    auto at = static_cast<std::size_t>(static_cast<const char*>(nl) - bytes);
    tooLong += endLine(at);
    start_ = checked_ = scan = at + 1;
  }
  if (!overlong_ && end_ - start_ > MAX_RAW_LINE_BYTES) overlong_ = true;
  if (overlong_) {
    // Dropped as they come: only the line feed that ends the line is still looked for.
    end_ = start_;
    checked_ = start_;
    return tooLong;
  }
  checkUtf8();
  return tooLong;
}

int LineReader::finish() {
  if (!overlong_ && end_ == start_) return 0;
  return endLine(end_);
}

std::unique_ptr<LineChunk> LineReader::take() {
  if (chunk_->lines.empty()) return nullptr;
  char* base = chunk_->bytes.get();
  if (start_ * 4 < capacity_) {
    // Little of the buffer is done with (a request or two): those bytes go on in a buffer of their
    // own size and this one keeps filling, so requests waiting behind a long verb hold only their
    // own bytes.
    auto out = std::make_unique<LineChunk>();
    out->bytes = std::make_unique_for_overwrite<char[]>(start_);
    std::memcpy(out->bytes.get(), base, start_);
    for (std::string_view line : chunk_->lines) {
      auto at = reinterpret_cast<std::uintptr_t>(line.data());
      auto from = reinterpret_cast<std::uintptr_t>(base);
      if (at >= from && at < from + capacity_)
        out->lines.emplace_back(out->bytes.get() + (at - from), line.size());
      else
        out->lines.push_back(line); // repaired: it moves with its deque
    }
    out->repaired = std::move(chunk_->repaired);
    chunk_->lines.clear();
    chunk_->repaired.clear();
    return out;
  }
  // The unfinished line moves to a fresh buffer; the full one goes with its lines, uncopied.
  std::size_t keep = end_ - start_;
  std::size_t capacity = std::max(READ_SIZE, keep + MIN_READ);
  auto next = std::make_unique<LineChunk>();
  next->bytes = std::make_unique_for_overwrite<char[]>(capacity);
  if (keep > 0) std::memcpy(next->bytes.get(), base + start_, keep);
  checked_ -= start_;
  start_ = 0;
  end_ = keep;
  capacity_ = capacity;
  std::swap(next, chunk_);
  return next;
}

} // namespace plenk::hands
