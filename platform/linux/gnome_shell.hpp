// GNOME Shell's windows, through the small extension that plenk-hands ships
// (platform/linux/gnome-shell/): GNOME offers a plain client no list of the session's windows
// with their owners and places, and no way to bring one to the front.
#pragma once

#include "platform/linux/sway_ipc.hpp" // the window facts, the same as sway's

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plenk::gnome {

using Window = sway::Window;

inline constexpr const char* EXTENSION_UUID = "plenk-hands-windows@plenk";

// The extension's answer (a JSON array, bottom to top) as windows in that order; nothing when
// it is not such an array.
std::optional<std::vector<Window>> parseWindows(std::string_view json);

// The windows now, or none while the extension does not answer.
std::optional<std::vector<Window>> windows();

// Brings a window to the front (switching to its workspace); whether the shell knew it.
bool activate(long id);

// Where the extension stands for this user.
enum class ExtensionState {
  answering, // loaded and enabled: the windows can be read
  missing,   // not installed
  disabled,  // installed, but not in the enabled list (or extensions are switched off)
  notLoaded, // installed and enabled, but the running shell has not loaded it: log in again
};
ExtensionState extensionState();

// Installs the extension for this user (the version for the running shell) and enables it;
// what was done or why not, in a sentence for the log.
std::string installExtension();

// The message that tells the user what is missing, empty while the extension answers.
std::string extensionMessage(ExtensionState state);

// Whether the shell's windows can be read now; when not, says on standard error (once per
// change) what the user has to do. With `install`, a missing or switched-off extension is
// installed and enabled first (the user is asked nothing: the extension is their own).
bool windowsReadable(bool install);

// The extension's files for a GNOME Shell major version: pairs of file name and contents.
std::vector<std::pair<std::string, std::string>> extensionFiles(int shellMajor);

} // namespace plenk::gnome
