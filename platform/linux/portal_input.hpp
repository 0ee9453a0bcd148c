// Synthesised input through the desktop portal's remote desktop (org.freedesktop.portal.
// RemoteDesktop, with a screen cast of the monitors for absolute pointer positions): the
// fallback for a Wayland compositor that offers plenk-hands nothing better. The portal asks the
// user in a dialog of its own, so the session is started only when the host asks for input
// (`request` "screen"): that call answers at once, and `screen` turns true once the user has
// allowed it. Nothing is sent before; the session is kept for the helper's life.
#pragma once

#include "platform/input_events.hpp"

#include <memory>

namespace plenk {

class PortalInput final : public InputEvents {
public:
  PortalInput();
  ~PortalInput() override;
  PortalInput(const PortalInput&) = delete;
  PortalInput& operator=(const PortalInput&) = delete;

  // Whether the session bus has a portal with a remote desktop.
  bool offered();
  // Releases whatever is held.
  void finish();

  bool screenCaptureAllowed() override;
  // Starts the portal's dialog unless a session runs or waits for the user's answer.
  bool requestScreenCapture() override;
  // Beyond the keysyms of a US layout nothing is typed: which window has the focus (and so
  // whether GTK's Unicode entry would take a character) cannot be known here.
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

} // namespace plenk
