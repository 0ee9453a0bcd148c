#include "platform/fd.hpp"

#include <cerrno>
#include <unistd.h>

namespace plenk {

bool writeAll(int fd, std::string_view bytes) noexcept {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO; // nothing taken and no reason given: never spin on it
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool FileDescriptor::close() noexcept {
  if (fd_ < 0) return true;
  // Not retried on EINTR: on Linux the descriptor is gone either way.
  return ::close(std::exchange(fd_, -1)) == 0;
}

} // namespace plenk
