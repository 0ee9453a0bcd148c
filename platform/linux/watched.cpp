#include "platform/linux/watched.hpp"

#include "platform/fd.hpp"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace plenk {

namespace {

// A toolkit that warns in a loop must not fill the parent's memory.
constexpr std::size_t KEPT_BYTES = 1 << 20;
// Without a process descriptor (an old kernel), how often the parent looks whether the child ended.
constexpr int LOOK_MILLIS = 100;

// Reads what is there now; false once the writer is gone (or on a failure).
bool drain(int fd, std::string& into) {
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      if (into.size() < KEPT_BYTES) into.append(buffer, std::min<std::size_t>(n, KEPT_BYTES));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && errno == EAGAIN;
  }
}

WatchedEnd watch(pid_t child, FileDescriptor out, FileDescriptor err) {
  WatchedEnd end;
  FileDescriptor ended(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
  for (FileDescriptor* fd : {&out, &err})
    ::fcntl(fd->get(), F_SETFL, ::fcntl(fd->get(), F_GETFL) | O_NONBLOCK);
  int status = 0;
  for (;;) {
    pollfd fds[3] = {{out.get(), POLLIN, 0}, {err.get(), POLLIN, 0}, {ended.get(), POLLIN, 0}};
    if (::poll(fds, 3, ended ? -1 : LOOK_MILLIS) < 0 && errno != EINTR) break;
    if (out && !drain(out.get(), end.out)) out.close();
    if (err && !drain(err.get(), end.err)) err.close();
    pid_t r = ::waitpid(child, &status, WNOHANG);
    if (r == child || (r < 0 && errno != EINTR)) break;
  }
  // What the child wrote just before it ended is in the pipes still.
  if (out) drain(out.get(), end.out);
  if (err) drain(err.get(), end.err);
  if (WIFEXITED(status)) end.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  return end;
}

} // namespace

std::optional<WatchedEnd> continueWatched() {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  if (::pipe2(err, O_CLOEXEC) != 0) {
    FileDescriptor a(out[0]), b(out[1]);
    return std::nullopt;
  }
  FileDescriptor outRead(out[0]), outWrite(out[1]), errRead(err[0]), errWrite(err[1]);
  pid_t parent = ::getpid();
  pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    // The job ends with the process that answers for it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(1);
    ::dup2(outWrite.get(), STDOUT_FILENO);
    ::dup2(errWrite.get(), STDERR_FILENO);
    return std::nullopt;
  }
  outWrite.close();
  errWrite.close();
  return watch(child, std::move(outRead), std::move(errRead));
}

} // namespace plenk
