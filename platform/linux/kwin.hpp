// KWin's windows, through a script that plenk-hands loads into KWin over D-Bus for each question:
// KWin lists no windows with their owners and places to a plain client, and raises none for it.
// The script sends its answer back with a call to plenk-hands' own connection (its unique name),
// which only KWin may make. Also the desktop entry that grants plenk-hands KWin's fake input.
#pragma once

#include "platform/linux/sway_ipc.hpp" // the window facts, the same as sway's

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plenk::kwin {

using Window = sway::Window;

// Whether KWin owns its name on the session bus.
bool onTheBus();

// The script's text: it answers `token` to `service` with the windows (bottom to top) or, when
// `raise` names a window (KWin's internal id), with whether it raised that window.
std::string script(const std::string& service, const std::string& token, const std::string& raise);

// The script's answer as windows, in its order. KWin names a window by a UUID; each gets a
// number for the life of this process (`idOf`), the same on every call.
std::optional<std::vector<Window>> parseWindows(std::string_view json);

// The windows now, or none while KWin does not answer.
std::optional<std::vector<Window>> windows();

// Raises a window and gives it the focus; whether KWin knew it.
bool activate(long id);

// The desktop entry that names plenk-hands' own executable with the Wayland interface it needs
// (KWin offers org_kde_kwin_fake_input only to programs that an entry names so), and where it
// goes for this user (a file per executable).
std::string inputEntry(const std::string& executable);
std::string inputEntryPath(const std::string& executable);
// This process's executable, empty where it cannot be told.
std::string ownExecutable();
// Writes that entry for this executable unless it is there already; what went wrong, empty when
// the entry is in place.
std::string installInputEntry();

} // namespace plenk::kwin
