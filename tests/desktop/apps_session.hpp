// What the application tests need around plenk-hands in the desktop session: test desktop
// entries in the session's data folder, a plenk-hands that is talked to line by line, test
// windows started directly, and the window manager's answers read with xprop (not with our own
// code).
#pragma once

#include "platform/json.hpp"
#include "tests/desktop/desktop.hpp"
#include "tests/pipes.hpp"
#include "tests/support/paths.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <thread>
#include <vector>

namespace plenk::testing {

inline const std::string APPS_WINDOW = sourceDir() + "/tests/desktop/apps/apps_window.py";

// Empty when the session is there; otherwise what is missing.
inline std::string sessionMissing() {
  for (const char* name : {"DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_DATA_HOME"})
    if (!std::getenv(name))
      return std::string(name) + " is not set: run the desktop tests inside tools/desktop-session";
  return {};
}

// A desktop entry in the session's own applications folder.
inline void installEntry(const std::string& fileName, const std::string& body) {
  std::filesystem::path folder =
      std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "applications";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / fileName) << body;
}

// A command's standard output.
inline std::string capture(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
    out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

// The first window id ("0x...") or number after '#' or '=' in xprop's answer; 0 when none.
inline long xpropNumber(const std::string& command) {
  std::string out = capture(command);
  auto at = out.find_first_of("#=");
  if (at == out.npos) return 0;
  return std::strtol(out.c_str() + at + 1, nullptr, 0);
}

// The process that owns _NET_ACTIVE_WINDOW, as xprop tells it (in a Wayland session: the
// compositor's focused window); 0 when none.
inline int activePid() {
  if (desktop::inCompositor()) {
    for (const auto& w : desktop::compositorWindows())
      if (w.focused) return w.pid;
    return 0;
  }
  long window = xpropNumber("xprop -root _NET_ACTIVE_WINDOW");
  if (window == 0) return 0;
  return static_cast<int>(xpropNumber("xprop -id " + std::to_string(window) + " _NET_WM_PID"));
}

// Managed windows of a process, as the window manager (or the compositor) lists them.
inline int windowsOf(int pid) {
  if (desktop::inCompositor()) {
    int count = 0;
    for (const auto& w : desktop::compositorWindows())
      count += w.pid == pid;
    return count;
  }
  std::string list = capture("xprop -root _NET_CLIENT_LIST");
  int count = 0;
  for (auto at = list.find("0x"); at != list.npos; at = list.find("0x", at + 2)) {
    long window = std::strtol(list.c_str() + at, nullptr, 16);
    if (xpropNumber("xprop -id " + std::to_string(window) + " _NET_WM_PID") == pid) ++count;
  }
  return count;
}

template <typename Test> bool waitUntil(Test test, int timeoutMs = 15000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (test()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return test();
}

// A test window started directly (not through plenk-hands); ended with the test.
class TestWindow {
public:
  TestWindow(const std::string& title, const std::string& windowClass) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> argv{"/usr/bin/python3", APPS_WINDOW, title, windowClass};
    std::vector<char*> args;
    for (auto& a : argv)
      args.push_back(a.data());
    args.push_back(nullptr);
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pid > 0) shown = waitUntil([&] { return windowsOf(pid) > 0; });
  }
  ~TestWindow() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  pid_t pid = -1;
  bool shown = false;
};

// plenk-hands on pipes, asked one request at a time (or several before the answers).
class AppsHands {
public:
  explicit AppsHands(std::vector<std::string> argv = {binDir() + "/plenk-hands"}) : child_(argv) {}
  ~AppsHands() {
    child_.pump(
        "", true, [&] { return child_.outputsClosed(); }, 60000);
    // Applications that plenk-hands opened outlive it: end them with the test.
    for (int pid : opened)
      if (pid > 1) kill(pid, SIGTERM);
  }
  AppsHands(const AppsHands&) = delete;
  AppsHands& operator=(const AppsHands&) = delete;

  void send(const Json& request) {
    std::string line = request.dump() + "\n";
    ASSERT_TRUE(child_.pump(
        line, false, [] { return true; }, 10000));
  }
  // The next answer line, in arrival order; null when none came in time.
  Json next(int timeoutMs = 45000) {
    bool got = child_.pump(
        "", false, [&] { return child_.out.find('\n') != child_.out.npos; }, timeoutMs);
    if (!got) return Json();
    auto nl = child_.out.find('\n');
    auto value = json::parse(child_.out.substr(0, nl));
    child_.out.erase(0, nl + 1);
    return value ? *value : Json();
  }
  Json ask(const Json& request) {
    send(request);
    return next();
  }
  std::vector<int> opened;

private:
  Child child_;
};

inline Json request(int id, const std::string& verb, Json args = Json::object()) {
  return Json{{"id", id}, {"verb", verb}, {"args", std::move(args)}};
}

} // namespace plenk::testing
