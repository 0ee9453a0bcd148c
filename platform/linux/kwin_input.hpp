// Synthesised input in a KDE Plasma session through KWin's fake input (org_kde_kwin_fake_input),
// which KWin offers only to a program that a desktop entry names with that interface
// (kwin::installInputEntry, written when the user asks for input). The device is bound once and
// kept for the helper's life.
//
// Keys go as key codes of KWin's own layout (the user's first layout in kxkbrc): each character is
// the key and level that give it there. A character that the layout lacks is typed through GTK's
// Unicode entry where the focused window is a GTK one; elsewhere text holding one is refused
// before anything is typed.
#pragma once

#include "platform/input_events.hpp"

#include <memory>
#include <string>

namespace plenk {

class KwinInput final : public InputEvents {
public:
  KwinInput();
  ~KwinInput() override;
  KwinInput(const KwinInput&) = delete;
  KwinInput& operator=(const KwinInput&) = delete;

  // Whether KWin offers the fake input device (connecting again after it went away).
  bool available();
  // Releases whatever is held.
  void finish();

  // Whether KWin lets us send input; asking writes the desktop entry that lets us and connects
  // again.
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

namespace kwin_keys {
// The user's first KWin layout from the text of kxkbrc: layout, variant and options; "us" where
// the file names none or says layouts are not in use.
struct LayoutNames {
  std::string layout = "us", variant, options;
};
LayoutNames layoutNames(const std::string& kxkbrc);
} // namespace kwin_keys

} // namespace plenk
