#include "platform/linux/mixed_input.hpp"

namespace plenk {

InputEvents& MixedInput::keyboard(bool decide) {
  if (decide) keysToX11_ = x11Focused_();
  return keysToX11_ ? x11_ : compositor_;
}

std::optional<EventSource> MixedInput::createSource() {
  auto source = compositor_.createSource();
  // The X11 side reads its layout and lets go of what it held for the request too.
  if (&keyboard(true) == &x11_) {
    auto x11 = x11_.createSource();
    if (!source) return x11;
  }
  return source;
}

void MixedInput::post(const InputEvent& event) {
  if (std::holds_alternative<KeyEvent>(event))
    keyboard(false).post(event);
  else
    compositor_.post(event);
}

} // namespace plenk
