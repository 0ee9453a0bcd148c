// Launching a desktop entry through GIO and waiting, on a thread of its own, for its window.
#pragma once

#include "platform/linux/ewmh.hpp"
#include "platform/linux/workspace_entries.hpp"
#include "platform/linux/workspace_running.hpp"
#include "platform/workspace.hpp"

#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace plenk::launching {

// How long a launched application has to show a window.
inline constexpr double WINDOW_WAIT_SECONDS = 30.0;

// Launches `entry` with startup notification, its standard streams on /dev/null. Returns at
// once; `handler` is called exactly once from a thread of its own: with the application when a
// managed window of the launched process (or of a descendant, or a new window that matches the
// entry, for applications that hand the launch to a running instance) is mapped; with an error
// when the launch fails, the process ends first, or no window appears in time. `before` holds
// the windows that were there already.
void launch(const desktop_entries::Catalogue& catalogue, const desktop_entries::Entry& entry,
            std::set<ewmh::Window> before, OpenHandler handler);

// Calls `handler` from a thread of its own.
void answerLater(OpenHandler handler, std::optional<RunningApp> app,
                 std::optional<std::string> error);

// The desktop's windows now, with their entries; none when its windows cannot be seen.
using WindowsNow = std::function<std::optional<std::vector<running::AppWindow>>(
    const desktop_entries::Catalogue&)>;

// Opens the application of the desktop entry at `bundlePath`: one that runs already is answered
// at once (brought to the front first with `activate` when `config.activates`); else it is
// launched. Nothing is started while the desktop's windows cannot be seen.
void openEntry(const std::string& bundlePath, const OpenConfiguration& config,
               const WindowsNow& windowsNow, const std::function<void(int pid)>& activate,
               OpenHandler handler);

} // namespace plenk::launching
