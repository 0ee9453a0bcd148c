#include "platform/linux/gnome_workspace.hpp"

#include "platform/linux/gnome_shell.hpp"
#include "platform/linux/workspace_entries.hpp"
#include "platform/linux/workspace_open.hpp"
#include "platform/linux/workspace_running.hpp"

#include <chrono>
#include <set>
#include <thread>

namespace plenk {

namespace {

constexpr auto ACTIVATE_WAIT = std::chrono::milliseconds(1000);
constexpr auto ACTIVATE_POLL = std::chrono::milliseconds(20);

std::optional<int> focusedPid() {
  for (const auto& w : gnome::windows().value_or(std::vector<gnome::Window>{}))
    if (w.focused && w.pid > 0) return w.pid;
  return std::nullopt;
}

} // namespace

std::vector<RunningApp> GnomeWorkspace::runningApplications() {
  return running::applications(running::gnomeSnapshot(desktop_entries::loadCatalogue()));
}

std::optional<RunningApp> GnomeWorkspace::frontmostApplication() {
  auto pid = focusedPid();
  if (!pid) return std::nullopt;
  return runningApplication(*pid);
}

std::optional<RunningApp> GnomeWorkspace::runningApplication(int pid) {
  if (pid <= 0) return std::nullopt;
  return running::application(running::gnomeSnapshot(desktop_entries::loadCatalogue()), pid);
}

bool GnomeWorkspace::activate(int pid) {
  if (pid <= 0) return false;
  auto windows = gnome::windows();
  if (!windows) return false;
  std::optional<long> target;
  for (const auto& w : *windows)
    if (w.pid == pid) {
      if (w.focused) return true;
      target = w.id; // the list goes bottom to top: the last is its top window
    }
  if (!target || !gnome::activate(*target)) return false;
  auto deadline = std::chrono::steady_clock::now() + ACTIVATE_WAIT;
  for (;;) {
    if (focusedPid() == pid) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(ACTIVATE_POLL);
  }
}

void GnomeWorkspace::openApplication(const std::string& bundlePath, const OpenConfiguration& config,
                                     OpenHandler handler) {
  launching::openEntry(
      bundlePath, config,
      [](const desktop_entries::Catalogue& catalogue)
          -> std::optional<std::vector<running::AppWindow>> {
        if (!gnome::windows()) return std::nullopt;
        return running::gnomeSnapshot(catalogue);
      },
      [this](int pid) { activate(pid); }, std::move(handler));
}

std::optional<std::string> GnomeWorkspace::applicationPathForBundleId(const std::string& bundleId) {
  return linux_.applicationPathForBundleId(bundleId);
}

std::optional<std::string> GnomeWorkspace::bundleIdentifier(const std::string& bundlePath) {
  return linux_.bundleIdentifier(bundlePath);
}

std::optional<std::string> GnomeWorkspace::applicationName(const std::string& bundlePath) {
  return linux_.applicationName(bundlePath);
}

std::optional<std::vector<std::string>>
GnomeWorkspace::contentsOfDirectory(const std::string& path) {
  return linux_.contentsOfDirectory(path);
}

std::string GnomeWorkspace::homeDirectory() {
  return linux_.homeDirectory();
}

} // namespace plenk
