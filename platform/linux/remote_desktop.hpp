// What the remote desktop services have alike (Mutter's own, org.gnome.Mutter.RemoteDesktop, and
// the desktop portal's, org.freedesktop.portal.RemoteDesktop): keys go as keysyms, which the
// compositor finds in its layout, pointer positions in the coordinates of a monitor's screen-cast
// stream. Each service takes the same five notifications in its own call shapes; the logic's
// events become them here.
//
// The compositor drops a keysym that its layout lacks. Such characters are typed through GTK's own
// Unicode entry (Ctrl+Shift+U, the hex digits, space), which GTK 3 and GTK 4 take in every text
// field; the backends refuse text with such a character before anything is typed where the
// focused window is not a GTK one (layout::typeable).
#pragma once

#include "platform/input_events.hpp"
#include "platform/linux/layout_keys.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plenk::remote {

// One monitor's stream and where the monitor lies in the layout.
struct Stream {
  std::string path = {};  // Mutter's stream object
  std::uint32_t node = 0; // the portal's PipeWire node
  int x = 0, y = 0, width = 0, height = 0;
};

// The notifications of one service.
struct Notify {
  std::function<void(std::uint32_t keysym, bool down)> keysym;
  std::function<void(std::uint32_t keycode, bool down)> keycode;    // evdev numbering
  std::function<void(int button, bool down)> button;                // BTN_LEFT, BTN_RIGHT
  std::function<void(const Stream&, double x, double y)> motion;    // in the stream's coordinates
  std::function<void(std::uint32_t axis, std::int32_t steps)> axis; // 0 vertical, 1 horizontal;
                                                                    // positive: down, right
};

// The state of one session's keyboard and pointer.
struct Events {
  Notify notify = {};
  layout::Keys layout = {};
  std::vector<Stream> streams = {};
  std::vector<std::uint32_t> heldKeys = {};
  std::vector<int> heldButtons = {};

  // Lets go of every key and button still down.
  void releaseHeld();
  // Sends one of the logic's events; what the last one pressed goes up first.
  void post(const InputEvent& event);
};

} // namespace plenk::remote
