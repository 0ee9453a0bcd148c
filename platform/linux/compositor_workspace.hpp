// The workspace of a Wayland session whose compositor lists its windows (sway through its IPC,
// GNOME Shell through plenk-hands' extension, KWin through plenk-hands' scripts): running
// applications, the front one and activation from the compositor's windows (Wayland and XWayland
// windows alike); installed applications, folders and launching as on every Linux desktop
// (LinuxWorkspace).
#pragma once

#include "platform/linux/ewmh.hpp"
#include "platform/linux/sway_ipc.hpp"
#include "platform/linux/workspace.hpp"

#include <map>
#include <string>

namespace plenk {

// How a compositor is asked: its windows (bottom to top where it stacks them; none when it
// cannot be asked), and raising one with the focus.
struct Compositor {
  std::optional<std::vector<sway::Window>> (*windows)();
  bool (*raise)(long id);
};

// sway's IPC; GNOME Shell through the extension; KWin through its scripts.
const Compositor& swayCompositor();
const Compositor& gnomeCompositor();
const Compositor& kdeCompositor();
// The compositor of this session where it lists its windows, else none (X11 and other Wayland
// sessions).
const Compositor* sessionCompositor();

class CompositorWorkspace final : public Workspace {
public:
  explicit CompositorWorkspace(const Compositor& compositor) : compositor_(compositor) {}

  // In the compositor's order: an application comes where its first window does.
  std::vector<RunningApp> runningApplications() override;
  // The owner of the compositor's focused window.
  std::optional<RunningApp> frontmostApplication() override;
  std::optional<RunningApp> runningApplication(int pid) override;
  // Raises the application's window (its focused one, else its last listed, the top one) through
  // the compositor, then waits up to a second for the compositor to say one of its windows has
  // the focus.
  bool activate(int pid) override;
  void openApplication(const std::string& bundlePath, const OpenConfiguration& config,
                       OpenHandler handler) override;
  std::optional<std::string> applicationPathForBundleId(const std::string& bundleId) override;
  std::optional<std::string> bundleIdentifier(const std::string& bundlePath) override;
  std::optional<std::string> applicationName(const std::string& bundlePath) override;
  std::optional<std::vector<InstalledApp>>
  installedApplications(const std::string& folder) override;
  std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path) override;
  std::string homeDirectory() override;

private:
  const Compositor& compositor_;
  LinuxWorkspace linux_;
};

namespace running {
// A compositor's window as the window facts that desktop entries are matched with.
ewmh::WindowFacts facts(const sway::Window& window);
// The application id (a well-known name such as "org.gnome.TextEditor", which GApplication and
// Qt's D-Bus applications own) of each process on the session bus that owns one.
std::map<int, std::string> applicationIdsOnTheBus();
} // namespace running

} // namespace plenk
