// Request lines of any bytes through screening, parsing, dispatch and answer writing, over an
// empty in-memory desktop. Each accepted line must get exactly one answer line, and a probe sent
// after them must still be answered.
#include "hands/channel.hpp"
#include "platform/memory/desktop.hpp"
#include "platform/memory/virtual_clock.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

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
  desktop.trusted = size > 0 && (data[0] & 1);
  desktop.screenAllowed = size > 0 && (data[0] & 2);
  Channel channel;
  channel.outFd = sink();
  channel.errFd = -1;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t answers = 0;
  while (!input.empty()) {
    std::size_t nl = input.find('\n');
    std::string_view raw = input.substr(0, nl);
    input = nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1);
    ScreenedLine line = screenLine(raw);
    if (line.kind == LineKind::TooLong) {
      answerTooLong(channel);
      ++answers;
    } else if (line.kind == LineKind::Request) {
      handleLine(hands, channel, requestText(line, raw));
      ++answers;
    }
  }
  checkAnswers(drain(), answers);
  handleLine(hands, channel, R"({"id":"next","verb":"probe"})");
  std::string next = drain();
  if (next.rfind(R"({"id":"next","ok":true,)", 0) != 0 &&
      next.find(R"("id":"next")") == std::string::npos)
    std::abort();
  return 0;
}
