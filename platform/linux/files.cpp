#include "platform/files.hpp"

#include "platform/fd.hpp"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plenk {

namespace {

std::string homeDirectory() {
  // The account's home, not $HOME: the environment is not read.
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir)
    return found->pw_dir;
  return "/";
}

bool hasParentComponent(const std::string& path) {
  return path == ".." || path.starts_with("../") || path.ends_with("/..") ||
         path.find("/../") != std::string::npos;
}

struct SystemFiles final : Files {
  ItemKind kind(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return ItemKind::None;
    if (S_ISREG(st.st_mode)) return ItemKind::File;
    if (S_ISDIR(st.st_mode)) return ItemKind::Directory;
    return ItemKind::Other;
  }

  bool taken(const std::string& path) override {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
  }

  bool readable(const std::string& path) override {
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
  }

  bool writable(const std::string& path) override {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
  }

  std::string standardize(const std::string& path) override {
    std::string out = standardizePath(path, homeDirectory());
    if (out.starts_with('/') && hasParentComponent(out)) {
      // "a/link/.." is not "a" when link leads elsewhere: let the system walk it.
      char resolved[PATH_MAX];
      if (::realpath(out.c_str(), resolved)) return resolved;
    }
    return out;
  }

  std::optional<std::int64_t> size(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
  }

  bool writeNew(const std::string& path, std::string_view bytes) override {
    FileDescriptor fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) return false;
    bool ok = writeAll(fd.get(), bytes);
    return fd.close() && ok;
  }

  bool copyNew(const std::string& from, const std::string& to) override {
    FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in) return false;
    FileDescriptor out(
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!out) return false;
    bool ok = copyAll(in.get(), out.get());
    return out.close() && ok;
  }

  bool moveNew(const std::string& from, const std::string& to) override {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
      return true;
    // File systems without the no-replace rename: a hard link fails just as surely on a taken
    // name, and the old name goes afterwards.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
  }

  bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

private:
  // In the kernel where it can (no pass through this process for a video of gigabytes), else
  // through a buffer.
  static bool copyAll(int in, int out) {
    for (;;) {
      ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
      if (n == 0) return true;
      if (n > 0) continue;
      if (errno == EINTR) continue;
      if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) break;
      return false;
    }
    std::vector<char> buffer(std::size_t{1} << 20);
    for (;;) {
      ssize_t n = ::read(in, buffer.data(), buffer.size());
      if (n == 0) return true;
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (!writeAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(n))))
        return false;
    }
  }
};

} // namespace

Files& systemFiles() {
  static SystemFiles files;
  return files;
}

} // namespace plenk
