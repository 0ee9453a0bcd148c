// The window manager's view of the desktop through EWMH properties on the X server (xcb, so that
// a failed request is a value and a lost server never ends the process).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct xcb_connection_t;

namespace plenk::ewmh {

using Window = std::uint32_t;

// What one managed top-level window says about itself.
struct WindowFacts {
  Window id = 0;
  int pid = 0;             // _NET_WM_PID, 0 when the window does not say
  std::string instance;    // WM_CLASS, first part (res_name)
  std::string windowClass; // WM_CLASS, second part (res_class)
  std::string appId;       // _GTK_APPLICATION_ID or _KDE_NET_WM_DESKTOP_FILE
  bool taskbar = false;    // a normal window that the taskbar shows
};

// Where a top-level window is on the screen and what it shows as.
struct Placement {
  Window id = 0;
  int pid = 0;         // _NET_WM_PID, 0 when the window does not say
  std::string title;   // _NET_WM_NAME, else WM_NAME
  bool hidden = false; // _NET_WM_STATE_HIDDEN (minimised)
  int x = 0, y = 0;    // the client area's top left on the screen
  int width = 0, height = 0;
};

// One connection to the X server with the atoms interned. Not shared between threads: each
// thread that talks to the server opens its own.
class Display {
public:
  Display(); // connects to $DISPLAY; ok() tells whether it worked
  ~Display();
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  bool ok() const;
  // Whether an EWMH window manager runs (_NET_SUPPORTING_WM_CHECK on the root window).
  bool managed();
  // Managed top-level windows: _NET_CLIENT_LIST (mapping order, oldest first), or with
  // `stacking` _NET_CLIENT_LIST_STACKING (bottom to top). Without a window manager, the viewable
  // children of the root window that carry a WM_CLASS.
  std::vector<Window> clients(bool stacking = false);
  // The facts of each window, in the same order; windows that vanished are left out.
  std::vector<WindowFacts> facts(const std::vector<Window>& windows);
  // The placement of each window, in the same order; windows that vanished are left out.
  std::vector<Placement> placements(const std::vector<Window>& windows);
  // _NET_ACTIVE_WINDOW; without a window manager, the top-level window holding the input focus.
  std::optional<Window> activeWindow();
  // Asks the window manager to activate `window` as a pager would (source indication 2).
  bool requestActivation(Window window);
  // Sends a startup-notification message ("new: ID=..." or "remove: ID=...") to the root window.
  void startupMessage(const std::string& message);

private:
  xcb_connection_t* connection_ = nullptr;
  Window root_ = 0;
  Window own_ = 0; // a window of our own, the sender of startup messages
  std::vector<std::uint32_t> atoms_;
  std::uint32_t atom(int which) const;
  std::optional<std::vector<std::uint32_t>> cardinals(Window window, std::uint32_t property,
                                                      std::uint32_t type);
};

} // namespace plenk::ewmh
