// A pick in the desktop session: a temporary Pictures/Videos library, the real plenk-media pick
// started on it, and the picker window driven through the accessibility bus.
#pragma once

#include "platform/json.hpp"
#include "tests/run_program.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/pick_library.hpp"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace plenk::testing {

// Fails the test with a clear message outside a desktop session.
inline bool pickDesktopReady() {
  const char* display = std::getenv("DISPLAY");
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (display && *display && bus && *bus) return true;
  ADD_FAILURE() << "no desktop session: run inside tools/desktop-session (DISPLAY and "
                   "DBUS_SESSION_BUS_ADDRESS are needed)";
  return false;
}

// The user's folders of one test: Pictures and Videos named in user-dirs.dirs, an empty
// thumbnail cache, and the --out folder.
struct PickLibrary {
  TempDir root;
  std::string pictures = root / "Pictures";
  std::string videos = root / "Videos";
  std::string out = root / "out";
  PickLibrary() {
    namespace fs = std::filesystem;
    fs::create_directories(pictures);
    fs::create_directories(videos);
    fs::create_directories(out);
    fs::create_directories(root / "config");
    writeFile(root / "config/user-dirs.dirs",
              "XDG_PICTURES_DIR=\"" + pictures + "\"\nXDG_VIDEOS_DIR=\"" + videos + "\"\n");
  }
  std::vector<std::string> env() const {
    return {"XDG_CONFIG_HOME=" + (root / "config"), "XDG_CACHE_HOME=" + (root / "cache")};
  }
};

// One running plenk-media; its output goes to files, read when it has ended.
class Running {
public:
  Running(const PickLibrary& library, const std::vector<std::string>& args)
      : outPath(library.root / "stdout"), errPath(library.root / "stderr") {
    std::string program = binDir() + "/plenk-media";
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = library.env();
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) {
      std::string_view inherited(*e);
      auto name = inherited.substr(0, inherited.find('=') + 1);
      if (std::none_of(env.begin(), env.end(),
                       [&](const std::string& own) { return own.starts_with(name); }))
        envp.push_back(*e);
    }
    for (auto& e : env)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
      pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Running() {
    if (pid > 0 && !ended) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

  // Waits for the end, at most `seconds`; the process is killed when it overstays.
  Finished finish(int seconds = 30) {
    Finished done;
    int status = 0;
    for (int waited = 0; pid > 0; waited += 50) {
      pid_t r = ::waitpid(pid, &status, WNOHANG);
      if (r == pid) break;
      if (waited > seconds * 1000) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "plenk-media pick did not end within " << seconds << "s";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ended = true;
    done.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    done.out = readFile(outPath);
    done.err = readFile(errPath);
    return done;
  }

  // Runs the driver's steps against this process: the window read through the accessibility
  // bus, clicks and keys through the real plenk-hands. What they read, as JSON.
  Json drive(const std::vector<std::string>& steps) {
    std::vector<std::string> args{sourceDir() + "/tests/desktop/pick_driver.py", "--hands",
                                  binDir() + "/plenk-hands", std::to_string(pid)};
    args.insert(args.end(), steps.begin(), steps.end());
    Finished driven = runProgram("/usr/bin/python3", args);
    EXPECT_EQ(driven.status, 0) << driven.err;
    auto read = json::parse(driven.out);
    return read ? *read : Json::array();
  }

  pid_t pid = -1;

private:
  std::string outPath, errPath;
  bool ended = false;
};

// The one line of a finished run, parsed; a failure when there is not exactly one.
inline Json onlyLine(const Finished& done) {
  EXPECT_EQ(std::count(done.out.begin(), done.out.end(), '\n'), 1) << done.out << done.err;
  auto line = json::parse(done.out);
  EXPECT_TRUE(line) << done.out;
  return line ? *line : Json::object();
}

} // namespace plenk::testing
