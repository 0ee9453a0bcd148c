// Runs a built program with its three standard streams on pipes, feeding it input while reading
// its output so that neither side blocks the other. Every wait has a time limit: a program that
// hangs is killed and the test fails instead of hanging.
//
// What plenk-hands and plenk-media write on standard output is checked against docs/schema as it
// is read (tests/support/schema.hpp).
#pragma once

#include "tests/support/schema.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace plenk::testing {

struct Conversation {
  std::string out;
  std::string err;
  int status = -1;       // exit status; -1 when killed by a signal
  bool timedOut = false; // killed after the time allowed
};

inline std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

// A running program on pipes.
class Child {
public:
  explicit Child(const std::vector<std::string>& argv) {
    // A program that ends before reading all of its input must fail the test, not kill it.
    std::signal(SIGPIPE, SIG_IGN);
    program_ = plenkProgramIn(argv);
    std::string name = program_.substr(program_.rfind('/') + 1);
    hands_ = name.starts_with("plenk-hands");
    media_ = name.starts_with("plenk-media");
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv)
      args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
    for (int fd : {in_, out_, err_})
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  }
  ~Child() {
    if (media_) schema::expectMediaRun(program_, -1, mediaOut_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_, pidfd_})
      if (fd >= 0) close(fd);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0 && pidfd_ >= 0; }

  // Moves bytes both ways until `input` is written (then input is closed when `closeInput`), and
  // while `done()` is false. False on timeout.
  template <typename Done>
  bool pump(std::string_view input, bool closeInput, Done done, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t written = 0;
    for (;;) {
      if (written == input.size() && closeInput && in_ >= 0) {
        close(in_);
        in_ = -1;
      }
      if (written == input.size() && done()) return true;
      pollfd fds[3] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}, {-1, POLLOUT, 0}};
      if (written < input.size()) fds[2].fd = in_;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0) return false;
      if (poll(fds, 3, static_cast<int>(left)) < 0 && errno != EINTR) return false;
      char buffer[65536];
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
        ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
        if (n > 0 && i == 0 && hands_)
          conversation_.received({buffer, static_cast<std::size_t>(n)});
        if (n > 0 && i == 0 && media_) mediaOut_.append(buffer, static_cast<std::size_t>(n));
        if (n == 0) {
          close(fds[i].fd);
          (i == 0 ? out_ : err_) = -1;
        }
      }
      if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR))) {
        ssize_t n = write(in_, input.data() + written, input.size() - written);
        if (n > 0 && hands_) conversation_.sent(input.substr(written, static_cast<std::size_t>(n)));
        if (n > 0) written += static_cast<std::size_t>(n);
        if (n < 0 && errno == EPIPE) {
          // The program has closed its input: the rest is not read, and its outputs still are.
          close(in_);
          in_ = -1;
          written = input.size();
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
          return false;
        }
      }
    }
  }

  bool outputsClosed() const { return out_ < 0 && err_ < 0; }

  // The host stops reading standard output (1) or standard error (2): its end of the pipe goes.
  void abandon(int stream) {
    int& fd = stream == 1 ? out_ : err_;
    if (fd >= 0) close(fd);
    fd = -1;
  }

  // Waits for the exit; the exit status, or -1 (signal or timeout).
  int wait(int timeoutMs) {
    pollfd fd{pidfd_, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0) return -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    int exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (media_) schema::expectMediaRun(program_, exit, std::exchange(mediaOut_, {}));
    return exit;
  }

  std::string out, err;

private:
  int pid_ = -1, pidfd_ = -1, in_ = -1, out_ = -1, err_ = -1;
  std::string program_;
  bool hands_ = false, media_ = false;
  schema::HandsConversation conversation_;
  std::string mediaOut_; // checked with the exit status
};

// Writes all of `input`, closes the program's input, reads both outputs to their end and waits
// for the exit.
inline Conversation converse(const std::vector<std::string>& argv, std::string_view input,
                             int timeoutMs = 120000) {
  Conversation c;
  Child child(argv);
  if (!child.started()) return c;
  bool ended = child.pump(
      input, true, [&] { return child.outputsClosed(); }, timeoutMs);
  c.timedOut = !ended;
  if (ended) c.status = child.wait(timeoutMs);
  c.timedOut = c.timedOut || c.status == -1;
  c.out = std::move(child.out);
  c.err = std::move(child.err);
  return c;
}

} // namespace plenk::testing
