// Synthesised input in a GNOME session through Mutter's remote desktop service
// (org.gnome.Mutter.RemoteDesktop on the session bus): one remote desktop session with a screen
// cast of each monitor, made when Mutter first accepts us and kept for the helper's life. The
// events are those of every remote desktop service (platform/linux/remote_desktop.hpp); GTK's
// Unicode entry takes what the user's layout lacks.
#pragma once

#include "platform/input_events.hpp"

#include <memory>

namespace plenk {

class MutterInput final : public InputEvents {
public:
  MutterInput();
  ~MutterInput() override;
  MutterInput(const MutterInput&) = delete;
  MutterInput& operator=(const MutterInput&) = delete;

  // Whether the remote desktop session runs (starting one after Mutter went away).
  bool available();
  // Releases whatever is held.
  void finish();

  // No capture permission exists here: true while the session runs.
  bool screenCaptureAllowed() override;
  bool requestScreenCapture() override;
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
