// Running and installed applications: the workspace, running applications, bundles on disk,
// folder listings and the home folder.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace plenk {

// How an application appears: `regular` is an ordinary application with a Dock icon.
enum class ActivationPolicy : int { regular = 0, accessory = 1, prohibited = 2 };

// A running application as the workspace sees it at the moment of asking.
struct RunningApp {
  int pid = 0;
  std::optional<std::string> name;     // display name
  std::optional<std::string> bundleId; // bundle identifier, case as given
  ActivationPolicy policy = ActivationPolicy::regular;
  std::optional<std::string> bundlePath; // location of its bundle (absolute path)
  friend bool operator==(const RunningApp&, const RunningApp&) = default;
};

// How an application is opened.
struct OpenConfiguration {
  bool activates = true; // the opened application becomes the active one
};

// What opening an application gives, once: the running application or none, and the system's
// description of an error or none.
using OpenHandler =
    std::function<void(std::optional<RunningApp> app, std::optional<std::string> error)>;

// An installed application as resolution and the list of installed applications see it.
struct InstalledApp {
  std::string name;                      // the name it is shown by and answers to
  std::string location;                  // where it is (what opening it is given)
  std::vector<std::string> aliases = {}; // other names it answers to (a desktop id, a command)
  bool listed = true;                    // among the installed applications that are listed
};

struct Workspace {
  virtual ~Workspace() = default;

  // The running applications in the workspace's own order.
  virtual std::vector<RunningApp> runningApplications() = 0;
  // The application in front, or none.
  virtual std::optional<RunningApp> frontmostApplication() = 0;
  // The running application with this process identifier, or none.
  virtual std::optional<RunningApp> runningApplication(int pid) = 0;
  // Brings a running application to the front, ignoring other applications; whether it was done.
  virtual bool activate(int pid) = 0;

  // Launches the bundle at `bundlePath` (or brings it to the front if it runs). Returns at once;
  // `handler` is called exactly once, later, on a thread of the implementation's choosing.
  virtual void openApplication(const std::string& bundlePath, const OpenConfiguration& config,
                               OpenHandler handler) = 0;

  // The location of an installed application with this bundle identifier, or none.
  virtual std::optional<std::string> applicationPathForBundleId(const std::string& bundleId) = 0;
  // The identifier of the bundle at `bundlePath`; none when it is no readable bundle or has none.
  virtual std::optional<std::string> bundleIdentifier(const std::string& bundlePath) = 0;
  // The display name of the application at a location, where the platform keeps one apart from
  // the location's file name (a desktop entry's Name); none: the file name is its name.
  virtual std::optional<std::string> applicationName(const std::string& /*bundlePath*/) {
    return std::nullopt;
  }
  // The applications installed in a folder, in the platform's order; none when it cannot be
  // read. By default each "<Name>.app" in the folder: it answers to its name in any case of
  // ".app", and only ".app" in small letters is listed.
  virtual std::optional<std::vector<InstalledApp>> installedApplications(const std::string& folder);
  // The names of the entries directly inside a folder, in the platform's order; none on error.
  virtual std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path) = 0;
  // The user's home folder, without a trailing "/".
  virtual std::string homeDirectory() = 0;
};

} // namespace plenk
