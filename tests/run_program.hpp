// Runs a built program as a child process and collects what it wrote and how it ended.
#pragma once

#include "tests/support/paths.hpp"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace plenk::testing {

struct Finished {
  std::string out, err;
  int status = -1; // exit status, or 128 + signal
};

// Appends what each descriptor gives to its sink until every one is closed, and closes them.
inline void readUntilClosed(std::vector<pollfd>& fds, const std::vector<std::string*>& sinks) {
  std::size_t open = fds.size();
  while (open > 0) {
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[65536];
      ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

// The exit status of a child, or 128 + the signal that ended it.
inline int waitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The plenk program that a command line runs: the first word that names an executable file
// whose name starts with "plenk-" (so also through /usr/bin/env or setpriv); "" when none does.
inline std::string plenkProgramIn(const std::vector<std::string>& argv) {
  for (const auto& word : argv) {
    std::string_view name = std::string_view(word).substr(word.rfind('/') + 1);
    struct stat st {};
    if (name.starts_with("plenk-") && ::stat(word.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(word.c_str(), X_OK) == 0)
      return word;
  }
  return "";
}

// The inherited environment with `own` ("NAME=value") added, each replacing an inherited entry
// of the same name.
inline std::vector<std::string> environmentWith(const std::vector<std::string>& own) {
  std::vector<std::string> all;
  for (char** e = environ; *e; ++e) {
    std::string_view inherited(*e);
    auto name = inherited.substr(0, inherited.find('=') + 1);
    bool replaced = false;
    for (const auto& o : own)
      replaced = replaced || o.starts_with(name);
    if (!replaced) all.emplace_back(inherited);
  }
  all.insert(all.end(), own.begin(), own.end());
  return all;
}

// Called after every run of a program whose name starts with plenk-media; the tests set it
// (tests/support/schema.hpp), so that each output line is checked against docs/schema.
inline void (*checkMediaRun)(const std::string& program, const Finished&) = nullptr;

// program: a file name in the build folder, or an absolute path. env: "NAME=value" entries that
// add to the inherited environment or replace an inherited entry of the same name.
inline Finished runProgram(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& env = {}) {
  std::string path = program.starts_with('/') ? program : binDir() + "/" + program;
  std::vector<char*> argv{path.data()};
  std::vector<std::string> argsCopy = args;
  for (auto& a : argsCopy)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envCopy = environmentWith(env);
  std::vector<char*> envp;
  for (auto& e : envCopy)
    envp.push_back(e.data());
  envp.push_back(nullptr);

  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  Finished done;
  if (spawned != 0) {
    ::close(out[0]);
    ::close(err[0]);
    return done;
  }
  std::vector<pollfd> fds{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  readUntilClosed(fds, {&done.out, &done.err});
  done.status = waitForExit(pid);
  if (checkMediaRun) {
    std::vector<std::string> words{path};
    words.insert(words.end(), args.begin(), args.end());
    std::string plenk = plenkProgramIn(words);
    if (plenk.substr(plenk.rfind('/') + 1).starts_with("plenk-media")) checkMediaRun(plenk, done);
  }
  return done;
}

} // namespace plenk::testing
