// Writing to file descriptors: one loop that writes everything, and one owner that closes once.
#pragma once

#include <string_view>
#include <utility>

namespace plenk {

// Writes every byte, going on after a signal or a short write (a full pipe, say); false on any
// other failure. Safe in a signal handler and after fork: write(2) only.
bool writeAll(int fd, std::string_view bytes) noexcept;

// Owns a file descriptor (or none: -1) and closes it once, when it goes or at close().
class FileDescriptor {
public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  ~FileDescriptor() { close(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.release();
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int release() noexcept { return std::exchange(fd_, -1); }
  // Closes now; false when close(2) reported a failure (a write that did not reach the disk).
  bool close() noexcept;

private:
  int fd_ = -1;
};

} // namespace plenk
