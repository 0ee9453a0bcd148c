// Synthesised input in a Wayland session through the compositor's virtual devices: a
// zwlr_virtual_pointer_v1 and a zwp_virtual_keyboard_v1 (wlroots compositors: sway, labwc,
// Hyprland, river, ...). XWayland's X11 windows get the same input from the compositor.
//
// The devices are made once, when the compositor first accepts us, and kept for the helper's
// life: the compositor drops events on a device it announced a moment ago, so no event goes out
// before DEVICE_SETTLE_MS have passed since.
// The keyboard carries a keymap of our own: the logic's ANSI keys where a US keyboard has them
// (so "cmd+z" is Control+z whatever the user's layout), the modifiers, and a block of key codes
// that hold the characters being typed, one keysym each. Text whose characters are not in the
// block gets a new keymap first, so any Unicode text types whole.
#pragma once

#include "platform/input_events.hpp"

#include <memory>
#include <string>
#include <vector>

namespace plenk {

class WaylandInput final : public InputEvents {
public:
  // Connects to the compositor named by WAYLAND_DISPLAY and makes the devices.
  WaylandInput();
  ~WaylandInput() override;
  WaylandInput(const WaylandInput&) = delete;
  WaylandInput& operator=(const WaylandInput&) = delete;

  // Whether the compositor offers both virtual devices (connects again after it went away).
  bool available();
  // Releases whatever is held.
  void finish();

  // No capture permission exists here: true while the devices work.
  bool screenCaptureAllowed() override;
  bool requestScreenCapture() override;
  std::optional<EventSource> createSource() override;
  std::optional<KeyEvent> createKeyEvent(const std::optional<EventSource>& source,
                                         std::uint16_t keyCode, bool down) override;
  std::optional<MouseEvent> createMouseEvent(const std::optional<EventSource>& source,
                                             MouseEventType type, Point point,
                                             MouseButton button) override;
  std::optional<ScrollEvent> createScrollEvent(const std::optional<EventSource>& source,
                                               std::int32_t vertical,
                                               std::int32_t horizontal) override;
  void post(const InputEvent& event) override;

  struct State;

private:
  std::unique_ptr<State> state_;
};

inline constexpr int DEVICE_SETTLE_MS = 200;

namespace wayland_keys {
// The first key code (XKB numbering) of the block that holds typed characters, and its size.
inline constexpr unsigned TYPING_FIRST = 128;
inline constexpr unsigned TYPING_COUNT = 120;
// The keymap text: the ANSI keys with their two US levels (`usLevels[i]` for ANSI_KEYS[i], a
// keysym per level, 0 for none), the modifiers, and `typing[i]` at TYPING_FIRST + i.
std::string keymap(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& usLevels,
                   const std::vector<std::uint32_t>& typing);
} // namespace wayland_keys

} // namespace plenk
