// The workspace of a sway session: running applications, the front one and activation from
// sway's IPC (Wayland and XWayland windows alike); installed applications, folders and launching
// as on every Linux desktop (LinuxWorkspace).
#pragma once

#include "platform/linux/ewmh.hpp"
#include "platform/linux/sway_ipc.hpp"
#include "platform/linux/workspace.hpp"

#include <map>
#include <string>

namespace plenk {

class SwayWorkspace final : public Workspace {
public:
  // In the tree's order: an application comes where its first window does.
  std::vector<RunningApp> runningApplications() override;
  // The owner of sway's focused window.
  std::optional<RunningApp> frontmostApplication() override;
  std::optional<RunningApp> runningApplication(int pid) override;
  // Focuses the application's window (its focused one, else the last listed) through sway, then
  // waits up to a second for sway to say one of its windows has the focus.
  bool activate(int pid) override;
  void openApplication(const std::string& bundlePath, const OpenConfiguration& config,
                       OpenHandler handler) override;
  std::optional<std::string> applicationPathForBundleId(const std::string& bundleId) override;
  std::optional<std::string> bundleIdentifier(const std::string& bundlePath) override;
  std::optional<std::string> applicationName(const std::string& bundlePath) override;
  std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path) override;
  std::string homeDirectory() override;

private:
  LinuxWorkspace linux_;
};

namespace running {
// A sway window as the window facts that desktop entries are matched with.
ewmh::WindowFacts facts(const sway::Window& window);
// The application id (a well-known name such as "org.gnome.TextEditor", which GApplication and
// Qt's D-Bus applications own) of each process on the session bus that owns one.
std::map<int, std::string> applicationIdsOnTheBus();
} // namespace running

} // namespace plenk
