// The workspace of a GNOME session: running applications, the front one and activation from
// GNOME Shell's windows (through plenk-hands' extension, Wayland and XWayland windows alike);
// installed applications, folders and launching as on every Linux desktop (LinuxWorkspace).
#pragma once

#include "platform/linux/workspace.hpp"

namespace plenk {

class GnomeWorkspace final : public Workspace {
public:
  // In the shell's stacking order, bottom to top: an application comes where its first window
  // does.
  std::vector<RunningApp> runningApplications() override;
  // The owner of the shell's focused window.
  std::optional<RunningApp> frontmostApplication() override;
  std::optional<RunningApp> runningApplication(int pid) override;
  // Activates the application's window (its focused one, else its top one) through the shell,
  // then waits up to a second for the shell to say one of its windows has the focus.
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

} // namespace plenk
