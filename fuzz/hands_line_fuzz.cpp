// Bytes of any kind through the request reader (cut into reads of any size), parsing, dispatch and
// answer writing, over an empty in-memory desktop. The reader must find the lines that screening
// each line alone finds, each accepted line must get exactly one answer line, and a probe sent
// after them must still be answered.
#include "hands/channel.hpp"
#include "hands/line_reader.hpp"
#include "platform/memory/desktop.hpp"
#include "platform/memory/virtual_clock.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace plenk;
using namespace plenk::hands;

int sink() {
  static int fd = memfd_create("answers", 0);
  return fd;
}

std::string drain() {
  int fd = sink();
  off_t size = lseek(fd, 0, SEEK_CUR);
  std::string out(static_cast<std::size_t>(size), '\0');
  if (size > 0 && pread(fd, out.data(), out.size(), 0) != size) std::abort();
  if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) std::abort();
  return out;
}

void checkAnswers(const std::string& out, std::size_t expected) {
  std::size_t lines = 0, start = 0;
  while (start < out.size()) {
    std::size_t nl = out.find('\n', start);
    if (nl == std::string::npos) std::abort(); // an answer without its line feed
    std::string_view line(out.data() + start, nl - start);
    auto value = json::parse(line);
    if (!value || !value->is_object()) std::abort();
    if (line != "{}" && (!value->contains("ok") || !value->contains("id"))) std::abort();
    ++lines;
    start = nl + 1;
  }
  if (lines != expected) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryDesktop desktop;
  static VirtualClock clock;
  static Hands hands{desktop, desktop, desktop, clock, [](std::function<void()> task) { task(); },
                     {}};
  // Millions of inputs run through one desktop: its call log would only grow.
  desktop.keepCalls(false);
  desktop.trusted = size > 0 && (data[0] & 1);
  desktop.screenAllowed = size > 0 && (data[0] & 2);
  // How the host's writes are cut into reads: byte by byte up to whole.
  static constexpr std::size_t READS[] = {1, 2, 3, 7, 64, 1000, SIZE_MAX};
  const std::size_t readSize = size > 0 ? READS[(data[0] >> 2) % std::size(READS)] : SIZE_MAX;
  Channel channel;
  channel.outFd = sink();
  channel.errFd = -1;
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // What each line should become, screened alone.
  std::vector<std::string> expected;
  std::size_t expectedTooLong = 0;
  for (std::string_view rest = input; !rest.empty();) {
    std::size_t nl = rest.find('\n');
    std::string_view raw = rest.substr(0, nl);
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
    ScreenedLine line = screenLine(raw);
    if (line.kind == LineKind::TooLong) ++expectedTooLong;
    if (line.kind == LineKind::Request) expected.emplace_back(requestText(line, raw));
  }

  // The reader, fed as the reader thread feeds it, must find the same lines; each is answered.
  LineReader reader;
  std::vector<std::string> found;
  std::size_t tooLong = 0;
  auto handOn = [&] {
    std::unique_ptr<LineChunk> chunk = reader.take();
    if (!chunk) return;
    for (std::string_view line : chunk->lines) {
      found.emplace_back(line);
      handleLine(hands, channel, line);
    }
  };
  for (std::string_view rest = input; !rest.empty();) {
    std::span<char> space = reader.space();
    std::size_t n = std::min({space.size(), rest.size(), readSize});
    std::memcpy(space.data(), rest.data(), n);
    rest.remove_prefix(n);
    for (int i = reader.received(n); i > 0; --i, ++tooLong)
      answerTooLong(channel);
    handOn();
  }
  for (int i = reader.finish(); i > 0; --i, ++tooLong)
    answerTooLong(channel);
  handOn();
  if (found != expected || tooLong != expectedTooLong) std::abort();
  checkAnswers(drain(), found.size() + tooLong);

  handleLine(hands, channel, R"({"id":"next","verb":"probe"})");
  std::string next = drain();
  if (next.rfind(R"({"id":"next","ok":true,)", 0) != 0 &&
      next.find(R"("id":"next")") == std::string::npos)
    std::abort();
  return 0;
}
