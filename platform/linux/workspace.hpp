// The workspace of a Linux desktop: installed applications are desktop entries (GIO), running
// applications are the processes with managed top-level windows (EWMH). How entries appear as
// bundles is told in workspace_entries.hpp and docs/linux-apps.md.
#pragma once

#include "platform/workspace.hpp"

#include <memory>

namespace plenk {

class LinuxWorkspace final : public Workspace {
public:
  LinuxWorkspace();
  ~LinuxWorkspace() override;
  LinuxWorkspace(const LinuxWorkspace&) = delete;
  LinuxWorkspace& operator=(const LinuxWorkspace&) = delete;

  // In the window manager's mapping order (_NET_CLIENT_LIST, oldest window first): an
  // application comes where its first mapped window does.
  std::vector<RunningApp> runningApplications() override;
  // The owner of _NET_ACTIVE_WINDOW.
  std::optional<RunningApp> frontmostApplication() override;
  std::optional<RunningApp> runningApplication(int pid) override;
  // Asks the window manager to activate the application's topmost window, then waits up to
  // ACTIVATE_WAIT for _NET_ACTIVE_WINDOW to name one of its windows.
  bool activate(int pid) override;
  void openApplication(const std::string& bundlePath, const OpenConfiguration& config,
                       OpenHandler handler) override;
  std::optional<std::string> applicationPathForBundleId(const std::string& bundleId) override;
  std::optional<std::string> bundleIdentifier(const std::string& bundlePath) override;
  std::optional<std::string> applicationName(const std::string& bundlePath) override;
  // The menu's desktop entries for BUNDLE_FOLDER (each with its Name, its bundle location, and
  // its desktop id and command as other names), the disk's bundles elsewhere.
  std::optional<std::vector<InstalledApp>>
  installedApplications(const std::string& folder) override;
  std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path) override;
  std::string homeDirectory() override;

  struct State;

private:
  std::unique_ptr<State> state_;
};

} // namespace plenk
