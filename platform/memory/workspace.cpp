#include "platform/memory/workspace.hpp"

#include <algorithm>
#include <filesystem>

namespace plenk {
namespace {

using Lock = std::lock_guard<std::mutex>;

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  auto low = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return low(x) == low(y); });
}

} // namespace

MemoryWorkspace::MemoryWorkspace(CallLog& log, Scheduler& scheduler,
                                 std::function<void(const RunningApp&)> launch)
    : log_(log), scheduler_(scheduler), launch_(std::move(launch)) {
  if (!launch_) launch_ = [this](const RunningApp& app) { addRunning(app); };
}

// ---- building

void MemoryWorkspace::addRunning(const RunningApp& app) {
  Lock lock(mutex_);
  auto it = std::find_if(running_.begin(), running_.end(),
                         [&](const RunningApp& a) { return a.pid == app.pid; });
  if (it != running_.end())
    *it = app;
  else
    running_.push_back(app);
}

void MemoryWorkspace::quitApp(int pid) {
  Lock lock(mutex_);
  std::erase_if(running_, [pid](const RunningApp& a) { return a.pid == pid; });
  if (frontmost_ == pid) frontmost_.reset();
}

void MemoryWorkspace::setFrontmost(std::optional<int> pid) {
  Lock lock(mutex_);
  frontmost_ = pid;
}

void MemoryWorkspace::setActivateAnswer(int pid, bool answer) {
  Lock lock(mutex_);
  activateAnswers_[pid] = answer;
}

void MemoryWorkspace::addBundle(const std::string& path, std::optional<std::string> bundleId) {
  Lock lock(mutex_);
  auto it = std::find_if(bundles_.begin(), bundles_.end(),
                         [&](const auto& b) { return b.first == path; });
  if (it != bundles_.end())
    it->second = std::move(bundleId);
  else
    bundles_.emplace_back(path, std::move(bundleId));
  std::filesystem::path p(path);
  std::string folder = p.parent_path().string();
  std::string entry = p.filename().string();
  auto f = folders_.find(folder);
  if (f == folders_.end())
    folders_[folder] = std::vector<std::string>{entry};
  else if (f->second && std::find(f->second->begin(), f->second->end(), entry) == f->second->end())
    f->second->push_back(entry);
}

void MemoryWorkspace::setFolder(const std::string& path,
                                std::optional<std::vector<std::string>> entries) {
  Lock lock(mutex_);
  folders_[path] = std::move(entries);
}

void MemoryWorkspace::setHome(std::string path) {
  Lock lock(mutex_);
  home_ = std::move(path);
}

void MemoryWorkspace::setOpenAnswer(const std::string& bundlePath, OpenAnswer answer) {
  Lock lock(mutex_);
  openAnswers_[bundlePath] = std::move(answer);
}

std::vector<std::string> MemoryWorkspace::opened() {
  Lock lock(mutex_);
  return opened_;
}

// ---- for the other fakes

bool MemoryWorkspace::runningLocked(int pid) {
  return std::any_of(running_.begin(), running_.end(),
                     [pid](const RunningApp& a) { return a.pid == pid; });
}

bool MemoryWorkspace::isRunning(int pid) {
  Lock lock(mutex_);
  return runningLocked(pid);
}

std::optional<int> MemoryWorkspace::front() {
  Lock lock(mutex_);
  if (frontmost_ && runningLocked(*frontmost_)) return frontmost_;
  return std::nullopt;
}

std::vector<int> MemoryWorkspace::frontToBack() {
  Lock lock(mutex_);
  std::vector<int> order;
  if (frontmost_ && runningLocked(*frontmost_)) order.push_back(*frontmost_);
  for (const auto& app : running_)
    if (!frontmost_ || app.pid != *frontmost_) order.push_back(app.pid);
  return order;
}

// ---- Workspace

std::vector<RunningApp> MemoryWorkspace::runningApplications() {
  scheduler_.applyDue();
  log_.record("runningApplications", "", "");
  Lock lock(mutex_);
  return running_;
}

std::optional<RunningApp> MemoryWorkspace::frontmostApplication() {
  scheduler_.applyDue();
  log_.record("frontmostApplication", "", "");
  Lock lock(mutex_);
  if (!frontmost_) return std::nullopt;
  for (const auto& app : running_)
    if (app.pid == *frontmost_) return app;
  return std::nullopt;
}

std::optional<RunningApp> MemoryWorkspace::runningApplication(int pid) {
  scheduler_.applyDue();
  log_.record("runningApplication", "", std::to_string(pid));
  Lock lock(mutex_);
  for (const auto& app : running_)
    if (app.pid == pid) return app;
  return std::nullopt;
}

bool MemoryWorkspace::activate(int pid) {
  scheduler_.applyDue();
  log_.record("activate", "", std::to_string(pid));
  Lock lock(mutex_);
  if (!runningLocked(pid)) return false;
  auto it = activateAnswers_.find(pid);
  bool answer = it == activateAnswers_.end() || it->second;
  if (answer) frontmost_ = pid;
  return answer;
}

RunningApp MemoryWorkspace::launchedFrom(const std::string& bundlePath) {
  for (const auto& app : running_)
    if (app.bundlePath == bundlePath) return app;
  RunningApp app;
  while (runningLocked(nextPid_))
    ++nextPid_;
  app.pid = nextPid_++;
  std::filesystem::path file(bundlePath);
  app.name = (file.extension() == ".app" ? file.stem() : file.filename()).string();
  for (const auto& [path, id] : bundles_)
    if (path == bundlePath) app.bundleId = id;
  app.bundlePath = bundlePath;
  return app;
}

// What the desktop does when the answer comes: the application runs (and is in front).
std::function<void()> MemoryWorkspace::deliveryOf(OpenAnswer answer, bool activates,
                                                  OpenHandler handler) {
  return [this, app = answer.app, error = answer.error, activates, handler = std::move(handler)]() {
    if (app) {
      if (!isRunning(app->pid)) launch_(*app);
      if (activates) setFrontmost(app->pid);
    }
    handler(app, error);
  };
}

void MemoryWorkspace::openApplication(const std::string& bundlePath,
                                      const OpenConfiguration& config, OpenHandler handler) {
  scheduler_.applyDue();
  log_.record("openApplication", "", bundlePath);
  Lock lock(mutex_);
  if (log_.keeping()) opened_.push_back(bundlePath);
  OpenAnswer answer;
  if (auto it = openAnswers_.find(bundlePath); it != openAnswers_.end())
    answer = it->second;
  else
    answer.app = launchedFrom(bundlePath);
  auto delivery = deliveryOf(answer, config.activates, std::move(handler));
  if (answer.held)
    held_.push_back({answer, std::move(delivery)});
  else
    answers_.post(answer.delaySeconds, std::move(delivery));
}

void MemoryWorkspace::deliverHeldOpens() {
  std::vector<Held> held;
  {
    Lock lock(mutex_);
    held.swap(held_);
  }
  for (auto& open : held)
    answers_.post(0, std::move(open.delivery));
}

void MemoryWorkspace::waitForOpens() {
  answers_.waitIdle();
}

void MemoryWorkspace::stopOpens() {
  answers_.stop();
}

std::optional<std::string>
MemoryWorkspace::applicationPathForBundleId(const std::string& bundleId) {
  log_.record("applicationPathForBundleId", "", bundleId);
  Lock lock(mutex_);
  for (const auto& [path, id] : bundles_)
    if (id && equalsIgnoringAsciiCase(*id, bundleId)) return path;
  return std::nullopt;
}

std::optional<std::string> MemoryWorkspace::bundleIdentifier(const std::string& bundlePath) {
  log_.record("bundleIdentifier", "", bundlePath);
  Lock lock(mutex_);
  for (const auto& [path, id] : bundles_)
    if (path == bundlePath) return id;
  return std::nullopt;
}

std::optional<std::vector<std::string>>
MemoryWorkspace::contentsOfDirectory(const std::string& path) {
  log_.record("contentsOfDirectory", "", path);
  Lock lock(mutex_);
  auto it = folders_.find(path);
  if (it == folders_.end()) return std::nullopt;
  return it->second;
}

std::string MemoryWorkspace::homeDirectory() {
  log_.record("homeDirectory", "", "");
  Lock lock(mutex_);
  return home_;
}

} // namespace plenk
