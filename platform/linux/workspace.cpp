#include "platform/linux/workspace.hpp"

#include "platform/linux/ewmh.hpp"
#include "platform/linux/workspace_entries.hpp"
#include "platform/linux/workspace_open.hpp"
#include "platform/linux/workspace_running.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <mutex>
#include <pwd.h>
#include <thread>
#include <unistd.h>

namespace plenk {

namespace {

// How long activate waits for the window manager to make the window active.
constexpr auto ACTIVATE_WAIT = std::chrono::milliseconds(1000);
constexpr auto ACTIVATE_POLL = std::chrono::milliseconds(20);

// The other application folders that resolution and listing ask for: present and empty, since
// every entry is inside BUNDLE_FOLDER.
constexpr std::array<std::string_view, 3> EMPTY_FOLDERS{
    "/Applications/Utilities", "/System/Applications", "/System/Applications/Utilities"};

std::optional<std::vector<std::string>> diskListing(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (dirent* d = readdir(dir)) {
    std::string_view name = d->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  closedir(dir);
  return names;
}

} // namespace

// The main thread's connection to the X server, opened on first use and again after it broke.
struct LinuxWorkspace::State {
  std::mutex lock;
  std::unique_ptr<ewmh::Display> display;

  ewmh::Display& connection() {
    if (!display || !display->ok()) display = std::make_unique<ewmh::Display>();
    return *display;
  }
};

LinuxWorkspace::LinuxWorkspace() : state_(std::make_unique<State>()) {}
LinuxWorkspace::~LinuxWorkspace() = default;

std::vector<RunningApp> LinuxWorkspace::runningApplications() {
  auto catalogue = desktop_entries::loadCatalogue();
  std::lock_guard guard(state_->lock);
  return running::applications(running::snapshot(state_->connection(), catalogue));
}

std::optional<RunningApp> LinuxWorkspace::runningApplication(int pid) {
  if (pid <= 0) return std::nullopt;
  std::lock_guard guard(state_->lock);
  auto& display = state_->connection();
  auto windows = display.facts(display.clients());
  std::erase_if(windows, [&](const ewmh::WindowFacts& w) { return w.pid != pid; });
  if (windows.empty()) return std::nullopt;
  return running::application(running::classify(windows, desktop_entries::loadCatalogue()), pid);
}

std::optional<RunningApp> LinuxWorkspace::frontmostApplication() {
  int pid = 0;
  {
    std::lock_guard guard(state_->lock);
    auto& display = state_->connection();
    auto active = display.activeWindow();
    if (!active) return std::nullopt;
    auto facts = display.facts({*active});
    if (facts.empty() || facts[0].pid <= 0) return std::nullopt;
    pid = facts[0].pid;
  }
  return runningApplication(pid);
}

bool LinuxWorkspace::activate(int pid) {
  if (pid <= 0) return false;
  std::lock_guard guard(state_->lock);
  auto& display = state_->connection();
  if (!display.ok() || !display.managed()) return false;
  // Bottom to top: the last window of the process is its most recent one; a taskbar window is
  // preferred over a panel or a splash of the same process.
  auto stack = display.facts(display.clients(true));
  std::set<ewmh::Window> mine;
  std::optional<ewmh::Window> target, fallback;
  for (const auto& w : stack)
    if (w.pid == pid) {
      mine.insert(w.id);
      (w.taskbar ? target : fallback) = w.id;
    }
  if (!target) target = fallback;
  if (!target) return false;
  auto isMine = [&] {
    auto active = display.activeWindow();
    return active && mine.count(*active) > 0;
  };
  if (isMine()) return true;
  if (!display.requestActivation(*target)) return false;
  auto deadline = std::chrono::steady_clock::now() + ACTIVATE_WAIT;
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(ACTIVATE_POLL);
    if (isMine()) return true;
  }
  return false;
}

void LinuxWorkspace::openApplication(const std::string& bundlePath, const OpenConfiguration& config,
                                     OpenHandler handler) {
  launching::openEntry(
      bundlePath, config,
      [this](const desktop_entries::Catalogue& catalogue)
          -> std::optional<std::vector<running::AppWindow>> {
        std::lock_guard guard(state_->lock);
        auto& display = state_->connection();
        // Without the X server no window could ever be seen.
        if (!display.ok()) return std::nullopt;
        return running::snapshot(display, catalogue);
      },
      [this](int pid) { activate(pid); }, std::move(handler));
}

std::optional<std::string> LinuxWorkspace::applicationPathForBundleId(const std::string& bundleId) {
  auto catalogue = desktop_entries::loadCatalogue();
  if (const auto* entry = catalogue.byId(bundleId)) return entry->location;
  return std::nullopt;
}

std::optional<std::string> LinuxWorkspace::bundleIdentifier(const std::string& bundlePath) {
  auto catalogue = desktop_entries::loadCatalogue();
  if (const auto* entry = catalogue.byLocation(bundlePath)) return entry->id;
  return std::nullopt;
}

std::optional<std::string> LinuxWorkspace::applicationName(const std::string& bundlePath) {
  auto catalogue = desktop_entries::loadCatalogue();
  if (const auto* entry = catalogue.byLocation(bundlePath)) return entry->name;
  return std::nullopt;
}

std::optional<std::vector<InstalledApp>>
LinuxWorkspace::installedApplications(const std::string& folderPath) {
  std::string folder = folderPath;
  while (folder.size() > 1 && folder.ends_with('/'))
    folder.pop_back();
  if (folder != desktop_entries::BUNDLE_FOLDER) return Workspace::installedApplications(folder);
  std::vector<InstalledApp> apps;
  for (auto& e : desktop_entries::loadCatalogue().entries)
    apps.push_back({.name = e.name,
                    .location = e.location,
                    .aliases = e.aliases,
                    .listed = e.location != e.file});
  return apps;
}

std::optional<std::vector<std::string>>
LinuxWorkspace::contentsOfDirectory(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.ends_with('/'))
    folder.pop_back();
  if (folder == desktop_entries::BUNDLE_FOLDER) return desktop_entries::loadCatalogue().listing();
  if (std::find(EMPTY_FOLDERS.begin(), EMPTY_FOLDERS.end(), folder) != EMPTY_FOLDERS.end())
    return std::vector<std::string>{};
  return diskListing(folder);
}

std::string LinuxWorkspace::homeDirectory() {
  std::string home;
  if (const char* env = std::getenv("HOME"); env && env[0] == '/') home = env;
  if (home.empty())
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  while (home.size() > 1 && home.ends_with('/'))
    home.pop_back();
  return home;
}

} // namespace plenk
