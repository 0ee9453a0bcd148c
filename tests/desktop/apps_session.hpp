// What the application tests need around plenk-hands (desktop::Hands) in the desktop session:
// test desktop entries in the session's data folder and test windows started directly; the window
// manager's answers come from tests/desktop/desktop.hpp (xprop or the compositor, not our code).
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

using desktop::activePid;
using desktop::windowsOf;

template <typename Test> bool waitUntil(Test test, int timeoutMs = 15000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (test()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return test();
}

// A test window started directly (not through plenk-hands); ended with the test.
struct TestWindow {
  TestWindow(const std::string& title, const std::string& windowClass)
      : process({"/usr/bin/python3", APPS_WINDOW, title, windowClass}), pid(process.pid()) {
    if (pid > 0) shown = waitUntil([&] { return windowsOf(pid) > 0; });
  }
  desktop::Process process;
  pid_t pid = -1;
  bool shown = false;
};

inline Json request(int id, const std::string& verb, Json args = Json::object()) {
  return Json{{"id", id}, {"verb", verb}, {"args", std::move(args)}};
}

} // namespace plenk::testing
