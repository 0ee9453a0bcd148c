#include "platform/console.hpp"

#include "platform/fd.hpp"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace plenk {

namespace {

struct ProcessConsole final : Console {
  bool writeOut(std::string_view bytes) override { return writeAll(STDOUT_FILENO, bytes); }
  bool writeErr(std::string_view bytes) override { return writeAll(STDERR_FILENO, bytes); }
  void exit(int status) override { ::_exit(status); }
  int waitForEnd() override {
    for (;;)
      ::pause();
  }
};

} // namespace

void guardStandardStreams() {
  std::signal(SIGPIPE, SIG_IGN);
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open gives the lowest free number, which is this one.
    int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd) FileDescriptor stray(opened);
  }
}

Console& processConsole() {
  static ProcessConsole console;
  return console;
}

} // namespace plenk
