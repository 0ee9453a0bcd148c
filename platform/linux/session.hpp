// Which kind of desktop session plenk-hands runs in, found the way every desktop program finds
// it: the display it can connect to. It picks the backends of windows and input.
#pragma once

#include <string>

namespace plenk {

enum class SessionKind {
  none,    // no display at all
  x11,     // an X server (DISPLAY), no Wayland compositor
  sway,    // a Wayland session whose compositor answers sway's IPC (SWAYSOCK)
  gnome,   // a Wayland session of GNOME Shell (Mutter), which owns org.gnome.Shell on the bus
  kde,     // a Wayland session of KWin (KDE Plasma), which owns org.kde.KWin on the bus
  wayland, // another Wayland compositor (WAYLAND_DISPLAY)
};

// What the environment names: WAYLAND_DISPLAY, SWAYSOCK, DISPLAY (empty when unset).
struct SessionNames {
  std::string wayland, swaySocket, x11;
};

// The kind that the names give, when `swayAnswers` tells whether the sway socket answers,
// `gnomeShell` whether GNOME Shell is on the session bus and `kwin` whether KWin is.
SessionKind sessionKind(const SessionNames& names, bool swayAnswers, bool gnomeShell = false,
                        bool kwin = false);

// The session of this process, found once.
SessionKind currentSession();

// Whether the session's windows are a Wayland compositor's (X11 windows may be among them).
inline bool isWayland(SessionKind kind) {
  return kind == SessionKind::sway || kind == SessionKind::gnome || kind == SessionKind::kde ||
         kind == SessionKind::wayland;
}

// Whether the compositor lists its windows (with owners and places) to plenk-hands.
inline bool compositorListsWindows(SessionKind kind) {
  return kind == SessionKind::sway || kind == SessionKind::gnome || kind == SessionKind::kde;
}

const char* sessionName(SessionKind kind); // "x11", "sway", "gnome", "kde", "wayland", "none"

} // namespace plenk
