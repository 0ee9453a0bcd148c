// The in-memory workspace: running applications and the one in front, bundles on disk, folder
// listings and the home folder. Opens are answered later on a thread of its own.
#pragma once

#include "platform/memory/answer_thread.hpp"
#include "platform/memory/call_log.hpp"
#include "platform/memory/scheduler.hpp"
#include "platform/workspace.hpp"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plenk {

// What opening a bundle answers; by default the running application of that bundle, or a new one
// launched from it.
struct OpenAnswer {
  std::optional<RunningApp> app; // added to the running applications (and put in front) when given
  std::optional<std::string> error;
  double delaySeconds = 0; // real time before the answer comes, on its own thread
  bool held = false;       // answered only at deliverHeldOpens()
};

class MemoryWorkspace : public Workspace {
public:
  // `launch` makes an opened application run (by default it joins the running list).
  MemoryWorkspace(CallLog& log, Scheduler& scheduler,
                  std::function<void(const RunningApp&)> launch = {});

  // ---- building
  // Joins the running applications (or replaces the one with its pid).
  void addRunning(const RunningApp& app);
  // The application quits: it leaves the running list (and the front).
  void quitApp(int pid);
  // None: nothing is in front.
  void setFrontmost(std::optional<int> pid);
  // What activating a running application answers (true by default; true also puts it in front).
  void setActivateAnswer(int pid, bool answer);
  // A bundle at an absolute path with its identifier (or none); its name joins the listing of
  // its folder. Installed applications are looked up by identifier (ignoring ASCII case) in the
  // order they were added.
  void addBundle(const std::string& path, std::optional<std::string> bundleId);
  // The exact listing of a folder (none: the folder cannot be read).
  void setFolder(const std::string& path, std::optional<std::vector<std::string>> entries);
  void setHome(std::string path);
  // What opening the bundle at this path answers.
  void setOpenAnswer(const std::string& bundlePath, OpenAnswer answer);
  // Delivers every held open answer.
  void deliverHeldOpens();
  // Waits until every open answer not held has been delivered.
  void waitForOpens();
  // Drops the answers not delivered yet and ends their thread.
  void stopOpens();
  // Bundles the logic asked to open, in order (kept while the call log keeps).
  std::vector<std::string> opened();

  // ---- for the other fakes, without a call in the log
  bool isRunning(int pid);
  // The frontmost application's pid when it runs.
  std::optional<int> front();
  // The running pids, the frontmost first: the order hit-testing searches in.
  std::vector<int> frontToBack();

  // ---- Workspace
  std::vector<RunningApp> runningApplications() override;
  std::optional<RunningApp> frontmostApplication() override;
  std::optional<RunningApp> runningApplication(int pid) override;
  bool activate(int pid) override;
  void openApplication(const std::string& bundlePath, const OpenConfiguration& config,
                       OpenHandler handler) override;
  std::optional<std::string> applicationPathForBundleId(const std::string& bundleId) override;
  std::optional<std::string> bundleIdentifier(const std::string& bundlePath) override;
  std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path) override;
  std::string homeDirectory() override;

private:
  struct Held {
    OpenAnswer answer;
    std::function<void()> delivery;
  };
  bool runningLocked(int pid);
  RunningApp launchedFrom(const std::string& bundlePath);
  std::function<void()> deliveryOf(OpenAnswer answer, bool activates, OpenHandler handler);

  CallLog& log_;
  Scheduler& scheduler_;
  std::function<void(const RunningApp&)> launch_;

  std::mutex mutex_;
  std::vector<RunningApp> running_;
  std::optional<int> frontmost_;
  std::map<int, bool> activateAnswers_;
  std::vector<std::pair<std::string, std::optional<std::string>>> bundles_;
  std::map<std::string, std::optional<std::vector<std::string>>, std::less<>> folders_;
  std::string home_ = "/home/user";
  std::map<std::string, OpenAnswer, std::less<>> openAnswers_;
  std::vector<std::string> opened_;
  std::vector<Held> held_;
  int nextPid_ = 9000;

  AnswerThread answers_; // last: joined before the rest goes
};

} // namespace plenk
