// Running applications from the windows the window manager manages; shared by the workspace and
// the thread that waits for a launched application's window.
#pragma once

#include "platform/linux/ewmh.hpp"
#include "platform/linux/sway_ipc.hpp"
#include "platform/linux/workspace_entries.hpp"
#include "platform/workspace.hpp"

#include <optional>
#include <vector>

namespace plenk::running {

// A window together with the application it belongs to.
struct AppWindow {
  ewmh::WindowFacts window;
  const desktop_entries::Entry* entry = nullptr;
};

// Each window with its entry, in the given order.
std::vector<AppWindow> classify(const std::vector<ewmh::WindowFacts>& windows,
                                const desktop_entries::Catalogue& catalogue);

// One application per process, in the order of each process's first window. A process is
// regular when one of its windows is a normal window on the taskbar, else accessory.
std::vector<RunningApp> applications(const std::vector<AppWindow>& windows);

// The application of one process, or none when it has no managed window.
std::optional<RunningApp> application(const std::vector<AppWindow>& windows, int pid);

// The managed windows of the desktop now, with their entries.
std::vector<AppWindow> snapshot(ewmh::Display& display, const desktop_entries::Catalogue& catalogue,
                                bool stacking = false);

// A compositor's windows with their entries.
std::vector<AppWindow> compositorSnapshot(const std::vector<sway::Window>& windows,
                                          const desktop_entries::Catalogue& catalogue);

// The windows of the session now: the compositor's where it lists them, else the X display's.
std::vector<AppWindow> sessionSnapshot(ewmh::Display& display,
                                       const desktop_entries::Catalogue& catalogue);

} // namespace plenk::running
