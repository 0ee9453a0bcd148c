// Synthesised input on an X11 display through the XTEST extension.
//
// Key codes are the logic's ANSI key positions; each is pressed as the key that carries the same
// keysym in the active layout (so "cmd+z" is undo on any layout), else at its physical position.
// Modifier flags become key presses around the key: command and control -> Control, option ->
// Alt, shift -> Shift, pressed in that order and released in reverse, never left down.
// Typed text goes out character by character as keysyms: a character that no key of the layout
// carries at its first two levels is bound to a spare key code for its press; the spare codes get
// their empty mapping back once the input has gone quiet (RESTORE_AFTER_MS), at finish() and in
// the destructor.
#pragma once

#include "platform/input_events.hpp"

#include <memory>

namespace plenk {

class X11Input final : public InputEvents {
public:
  // Opens nothing yet: the display named by DISPLAY is opened on first use, and again after it
  // went away.
  X11Input();
  ~X11Input() override;
  X11Input(const X11Input&) = delete;
  X11Input& operator=(const X11Input&) = delete;

  // Whether the display opens now and offers XTEST.
  bool available();
  // Releases whatever is held and gives the spare key codes back their mapping, now.
  void finish();

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

// How long after the last press of a bound character its spare key code keeps the binding: the
// receiving toolkit reads the new mapping only when it translates the press, which may be later.
inline constexpr int RESTORE_AFTER_MS = 250;

} // namespace plenk
