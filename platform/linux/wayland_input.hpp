// Synthesised input in a Wayland session through the compositor's virtual devices: a
// zwlr_virtual_pointer_v1 and a zwp_virtual_keyboard_v1 (wlroots compositors: sway, labwc,
// Hyprland, river, ...). XWayland's X11 windows get the same input from the compositor.
//
// The devices are made once, when the compositor first accepts us, and kept for the helper's
// life: the compositor drops events on a device it announced a moment ago, so no event goes out
// before DEVICE_SETTLE_MS have passed since.
// The keyboard carries a keymap of our own: the logic's ANSI keys where a US keyboard has them
// (so "cmd+z" is Control+z whatever the user's layout) and the modifiers. While text is typed, the
// character keys hold the characters being typed instead, one keysym each; text whose characters
// are not there gets a new keymap first, so any Unicode text types whole, and the next chord
// gets the ANSI keys back.
#pragma once

#include "platform/input_events.hpp"

#include <iterator>
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
  // Refuses characters beyond the Basic Multilingual Plane while a Chromium window has sway's
  // focus (they would arrive as other characters).
  bool canType(std::u16string_view text) override;
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
// The key codes (XKB numbering) that hold typed characters while text is typed: the character
// keys of a US keyboard (the digits row, the three letter rows, space), then the codes above them
// that Chromium, too, takes as typing (it drops most others as keys without meaning: Props, Menu,
// Setup and nearly every code from 159 on). Enough for the different characters of most texts,
// so that a keymap is uploaded once, not every few characters.
inline constexpr unsigned TYPING_CODES[] = {
    10,  11,  12,  13,  14,  15,  16,  17,  18,  19,  20,  21,  24,  25,  26,  27,  28,  29,
    30,  31,  32,  33,  34,  35,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,  48,  49,
    51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  65,  128, 129, 130, 131, 132, 133,
    134, 135, 136, 137, 139, 140, 141, 142, 143, 144, 145, 146, 148, 150, 151, 152, 158};
inline constexpr unsigned TYPING_COUNT = std::size(TYPING_CODES);
// The keymap text: the ANSI keys with their two US levels (`usLevels[i]` for ANSI_KEYS[i], a
// keysym per level, 0 for none) and the modifiers; `typing[i]` (one level) at TYPING_CODES[i] in
// place of the ANSI key there.
std::string keymap(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& usLevels,
                   const std::vector<std::uint32_t>& typing);
} // namespace wayland_keys

} // namespace plenk
