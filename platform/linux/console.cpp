#include "platform/console.hpp"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace plenk {

namespace {

bool writeAll(int fd, std::string_view bytes) {
  // One write(2) normally takes everything; a signal or a full pipe may split it.
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

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
    if (opened >= 0 && opened != fd) ::close(opened);
  }
}

Console& processConsole() {
  static ProcessConsole console;
  return console;
}

} // namespace plenk
