// sway's IPC (the i3-ipc binary protocol on the unix socket named by SWAYSOCK): the windows of
// the session with their owners, rectangles and focus, and focusing one of them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plenk::sway {

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
  friend bool operator==(const Box&, const Box&) = default;
};

struct Window {
  long id = 0;                       // sway's container id
  int pid = 0;                       // 0 when sway does not know it
  std::string title;                 // "name"
  std::string appId;                 // app_id of a Wayland window; empty for an X11 one
  std::string instance, windowClass; // an X11 window's WM_CLASS parts
  bool x11 = false;                  // shell "xwayland"
  // The window's own rectangle on the screen (its frame, without sway's border), and the offset
  // of that frame inside the client's buffer (a client that draws its own shadows).
  Box frame;
  int bufferDx = 0, bufferDy = 0;
  bool focused = false;
  bool visible = false; // on a workspace that an output shows, not hidden in a stack or tab
  bool floating = false;
};

// Every window in the order the tree lists them, tiled before floating ones per workspace (a
// floating window sits above the tiled ones; the later floating one is on top).
std::vector<Window> parseTree(std::string_view json);

// The i3-ipc message types used here.
inline constexpr unsigned RUN_COMMAND = 0;
inline constexpr unsigned GET_TREE = 4;

// Sends one message to sway at `socketPath` and answers its payload, or none (no sway, a broken
// answer, no answer within a second).
std::optional<std::string> request(const std::string& socketPath, unsigned type,
                                   std::string_view payload);

// The socket of the session's sway (SWAYSOCK), empty when none is named.
std::string socketPath();

// The windows now, or none without sway.
std::optional<std::vector<Window>> windows();

// Focuses a window (which raises it) and answers whether sway did it.
bool focus(long id);

} // namespace plenk::sway
