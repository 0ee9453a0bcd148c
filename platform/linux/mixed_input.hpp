// Input in a Wayland session that also runs X11 windows under XWayland: the pointer always goes
// through the compositor (it reaches every window), the keyboard through XTEST while an X11
// window has the focus, as on an X11 desktop. XTEST binds any character to a spare key code of
// XWayland's own keymap, where Mutter's and KWin's keyboards type only what the user's layout
// holds.
#pragma once

#include "platform/input_events.hpp"

namespace plenk {

class MixedInput final : public InputEvents {
public:
  // `x11Focused` tells whether an X11 window has the focus now and XTEST can reach it; it is
  // asked when a request makes its events and before text is checked, not for every key.
  MixedInput(InputEvents& compositor, InputEvents& x11, bool (*x11Focused)())
      : compositor_(compositor), x11_(x11), x11Focused_(x11Focused) {}

  bool screenCaptureAllowed() override { return compositor_.screenCaptureAllowed(); }
  bool requestScreenCapture() override { return compositor_.requestScreenCapture(); }
  bool canType(std::u16string_view text) override { return keyboard(true).canType(text); }
  std::optional<EventSource> createSource() override;
  std::optional<KeyEvent> createKeyEvent(const std::optional<EventSource>& source,
                                         std::uint16_t keyCode, bool down) override {
    return keyboard(false).createKeyEvent(source, keyCode, down);
  }
  std::optional<MouseEvent> createMouseEvent(const std::optional<EventSource>& source,
                                             MouseEventType type, Point point,
                                             MouseButton button) override {
    return compositor_.createMouseEvent(source, type, point, button);
  }
  std::optional<ScrollEvent> createScrollEvent(const std::optional<EventSource>& source,
                                               std::int32_t vertical,
                                               std::int32_t horizontal) override {
    return compositor_.createScrollEvent(source, vertical, horizontal);
  }
  void post(const InputEvent& event) override;

private:
  // The keyboard of this request; `decide` looks at the focus again.
  InputEvents& keyboard(bool decide);

  InputEvents& compositor_;
  InputEvents& x11_;
  bool (*x11Focused_)();
  bool keysToX11_ = false;
};

} // namespace plenk
