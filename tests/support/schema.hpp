// Every answer line the tests read from plenk-hands or plenk-media is checked against the JSON
// Schema in docs/schema, so that the schema cannot drift from the programs. The checking is done
// by tools/schema-check (Debian's python3-jsonschema), one process per test executable, started
// on first use and fed one line at a time; a line that breaks the schema fails the running test
// there.
#pragma once

#include "tests/run_program.hpp"
#include "tests/support/paths.hpp"

#include <cerrno>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>

extern char** environ;

namespace plenk::testing::schema {

// The checker process, on one socket for both directions (a send never raises SIGPIPE).
class Checker {
public:
  static Checker& get() {
    static Checker checker;
    return checker;
  }

  // "ok", or "error: " and what is wrong.
  std::string check(std::string_view request) {
    std::lock_guard lock(mutex_);
    if (passed_.contains(request)) return "ok"; // many runs answer alike (the corpus's failures)
    if (fd_ < 0) return "error: tools/schema-check did not start (./dev deps installs it)";
    std::string line(request);
    line += '\n';
    for (std::size_t sent = 0; sent < line.size();) {
      ssize_t n = ::send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return stopped();
      sent += static_cast<std::size_t>(n);
    }
    for (;;) {
      if (auto nl = buffer_.find('\n'); nl != std::string::npos) {
        std::string answer = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        if (answer == "ok") passed_.emplace(request);
        return answer;
      }
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 60000) <= 0) return stopped();
      char chunk[4096];
      ssize_t n = ::read(fd_, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return stopped();
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  Checker(const Checker&) = delete;
  Checker& operator=(const Checker&) = delete;

private:
  Checker() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
    std::string python = "/usr/bin/python3"; // Debian's, with python3-jsonschema
    std::string script = sourceDir() + "/tools/schema-check";
    char* argv[] = {python.data(), script.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    if (::posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv, environ) == 0) {
      fd_ = ends[0];
    } else {
      pid_ = -1;
      ::close(ends[0]);
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
  }
  ~Checker() {
    if (fd_ >= 0) ::close(fd_); // the checker reads the end of its input and exits
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }

  std::string stopped() {
    ::close(fd_);
    fd_ = -1;
    return "error: tools/schema-check stopped answering";
  }

  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  std::mutex mutex_;
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string buffer_;
  std::unordered_set<std::string, Hash, std::equal_to<>> passed_;
};

// An answer line of plenk-hands to a request of `verb` ("" when not known).
inline void expectHandsAnswer(std::string_view verb, std::string_view line) {
  bool named = !verb.empty() && verb.find_first_of(" \t") == std::string_view::npos;
  std::string schemaName = named ? std::string(verb) : "-";
  std::string result = Checker::get().check("hands " + schemaName + " " + std::string(line));
  if (result != "ok")
    ADD_FAILURE() << "plenk-hands answered a line that breaks docs/schema/hands/"
                  << (named ? schemaName : "answer") << ".json\n  " << result
                  << "\n  line: " << line;
}

// What a run of `program` (plenk-media, or a test build of it such as plenk-media-testbed) wrote
// on standard output, and its exit status (negative or from 128 on: ended by a signal, not
// known). Each whole line is checked.
inline void expectMediaRun(std::string_view program, int status, std::string_view out) {
  std::string exit = status >= 0 && status < 128 ? std::to_string(status) : "-";
  std::string name(program.substr(program.rfind('/') + 1));
  std::string kind = name == "plenk-media-testbed" ? "testbed" : "media";
  for (std::size_t start = 0, nl; (nl = out.find('\n', start)) != std::string_view::npos;
       start = nl + 1) {
    std::string_view line = out.substr(start, nl - start);
    std::string result = Checker::get().check(kind + " " + exit + " " + std::string(line));
    if (result != "ok")
      ADD_FAILURE() << name << " wrote a line (exit status " << exit
                    << ") that breaks docs/schema/media/run.json\n  " << result
                    << "\n  line: " << line;
  }
}

// Every runProgram of plenk-media in a test executable is checked.
inline void checkRun(const std::string& program, const Finished& run) {
  expectMediaRun(program, run.status, run.out);
}
inline const bool mediaRunsChecked = (checkMediaRun = &checkRun, true);

// Follows one conversation with plenk-hands: the bytes written to its standard input and read
// from its standard output, in pieces as they go. Each answer is checked against the schema of
// the verb its id was requested with.
class HandsConversation {
public:
  void sent(std::string_view bytes) {
    eachLine(sentPart_, bytes, [&](std::string_view line) {
      if (line.size() > 1000000) return; // answered "too long", unread
      if (tooDeep(line)) return;         // answered "{}"; copying its id would overflow the stack
      auto request = nlohmann::json::parse(line, nullptr, false);
      if (request.is_discarded() || !request.is_object()) return;
      auto verb = request.find("verb");
      pending_.emplace_back(request.value("id", nlohmann::json()),
                            verb != request.end() && verb->is_string() ? verb->get<std::string>()
                                                                       : std::string());
    });
  }

  void received(std::string_view bytes) {
    eachLine(receivedPart_, bytes, [&](std::string_view line) {
      auto answer = tooDeep(line) ? nlohmann::json() : nlohmann::json::parse(line, nullptr, false);
      std::string verb;
      auto code = answer.is_object() ? answer.find("code") : answer.end();
      bool badRequest = code != answer.end() && *code == "bad_request";
      if (answer.is_object() && !badRequest) {
        auto id = answer.value("id", nlohmann::json());
        for (auto it = pending_.begin(); it != pending_.end(); ++it)
          if (it->first == id) {
            verb = it->second;
            pending_.erase(it);
            break;
          }
      }
      expectHandsAnswer(verb, line);
    });
  }

private:
  // Nested deeper than any answer can be written.
  static bool tooDeep(std::string_view line) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (inString) {
        if (c == '\\')
          ++i;
        else if (c == '"')
          inString = false;
      } else if (c == '"') {
        inString = true;
      } else if (c == '[' || c == '{') {
        if (++depth > 200) return true;
      } else if (c == ']' || c == '}') {
        --depth;
      }
    }
    return false;
  }

  template <typename Each>
  static void eachLine(std::string& part, std::string_view bytes, Each each) {
    part.append(bytes);
    std::size_t start = 0;
    for (std::size_t nl; (nl = part.find('\n', start)) != std::string::npos; start = nl + 1)
      each(std::string_view(part).substr(start, nl - start));
    part.erase(0, start);
  }

  std::string sentPart_, receivedPart_;
  std::deque<std::pair<nlohmann::json, std::string>> pending_;
};

} // namespace plenk::testing::schema
