// The few facts the accessibility backend needs of the session's windows: which window is
// active, which windows are stacked where, whose they are and where they are on screen (from the
// X window manager through EWMH, or from the compositor).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plenk::atspi {

struct XWindow {
  unsigned long id = 0;
  int pid = 0;       // _NET_WM_PID, 0 when not set
  std::string title; // _NET_WM_NAME, else WM_NAME
  int x = 0, y = 0;  // client area's top left on the screen
  int width = 0, height = 0;
  bool hidden = false; // _NET_WM_STATE_HIDDEN (minimised)
  // A Wayland client's window: AT-SPI gives its rectangles relative to the window, from the
  // frame (x, y) or from its buffer, which starts (bufferDx, bufferDy) above and left of it.
  bool relative = false;
  int bufferDx = 0, bufferDy = 0;
};

struct Origin {
  int x = 0, y = 0;
};

struct XDesktop {
  std::optional<unsigned long> active; // _NET_ACTIVE_WINDOW
  std::vector<XWindow> stacking;       // _NET_CLIENT_LIST_STACKING, bottom first
};

// One look at the X display (ewmh::Display), opened and closed for it. Nothing when the display
// cannot be opened.
std::optional<XDesktop> readXDesktop();

// The session's windows: the compositor's on Wayland (sway's IPC), else the X display's.
std::optional<XDesktop> readDesktop();

// Where a window-relative AT-SPI rectangle starts on the screen: at the window's frame, unless
// the window's own AT-SPI size is not the frame's and its buffer is larger (drawn shadows).
Origin windowOrigin(const XWindow& window, int atspiWidth, int atspiHeight);

} // namespace plenk::atspi
