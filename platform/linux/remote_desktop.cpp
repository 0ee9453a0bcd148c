#include "platform/linux/remote_desktop.hpp"

#include "platform/linux/ansi_keys.hpp"
#include "platform/linux/input_common.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plenk::remote {

namespace {

// linux/input-event-codes.h
constexpr int BTN_LEFT = 0x110, BTN_RIGHT = 0x111;
constexpr std::uint32_t EVDEV_OFFSET = 8;
constexpr std::uint32_t AXIS_VERTICAL = 0, AXIS_HORIZONTAL = 1;

void tapSym(const Notify& n, std::uint32_t sym) {
  n.keysym(sym, true);
  n.keysym(sym, false);
}

// GTK's Unicode entry: Ctrl+Shift+U, the code point in hex, then space to end it.
void typeByCode(const Notify& n, char32_t cp) {
  n.keysym(XK_Control_L, true);
  n.keysym(XK_Shift_L, true);
  tapSym(n, XK_u);
  n.keysym(XK_Shift_L, false);
  n.keysym(XK_Control_L, false);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(cp));
  for (const char* c = hex; *c; ++c)
    tapSym(n, static_cast<std::uint32_t>(static_cast<unsigned char>(*c)));
  tapSym(n, XK_space);
}

} // namespace

void Events::releaseHeld() {
  for (auto it = heldKeys.rbegin(); it != heldKeys.rend(); ++it)
    notify.keysym(*it, false);
  for (int b : heldButtons)
    notify.button(b, false);
  heldKeys.clear();
  heldButtons.clear();
}

void Events::post(const InputEvent& event) {
  releaseHeld();
  if (const auto* key = std::get_if<KeyEvent>(&event)) {
    if (!key->down) return; // its key and modifiers were released above
    if (!key->text.empty()) {
      for (char32_t cp : input::codePoints(key->text)) {
        std::uint32_t sym = layout::symOf(cp);
        if (sym == 0) continue;
        if (layout.has(sym))
          tapSym(notify, sym);
        else
          typeByCode(notify, cp);
      }
      return;
    }
    const auto* ansi = keys::ansiKey(key->keyCode);
    if (!ansi) return;
    for (const auto& m : keys::MODIFIER_KEYS)
      if (key->flags & m.flags) {
        notify.keysym(m.keysym, true);
        heldKeys.push_back(m.keysym);
      }
    // A key by the keysym it carries on a US layout where the user's layout has that keysym
    // (so "cmd+z" is Control+z everywhere), else by its place: held by place, it is released at
    // once, as a keysym cannot release it.
    if (layout.has(ansi->keysym)) {
      notify.keysym(ansi->keysym, true);
      heldKeys.push_back(ansi->keysym);
    } else {
      notify.keycode(ansi->evdev - EVDEV_OFFSET, true);
      notify.keycode(ansi->evdev - EVDEV_OFFSET, false);
    }
    return;
  }
  auto moveTo = [&](Point p) {
    if (streams.empty()) return;
    // The monitor that holds the point, else the nearest one.
    const Stream* best = &streams.front();
    double bestDistance = INFINITY;
    for (const auto& s : streams) {
      double dx = std::max({0.0, s.x - p.x, p.x - (s.x + s.width - 1)});
      double dy = std::max({0.0, s.y - p.y, p.y - (s.y + s.height - 1)});
      if (dx * dx + dy * dy < bestDistance) {
        bestDistance = dx * dx + dy * dy;
        best = &s;
      }
    }
    double x = std::clamp(p.x - best->x, 0.0, std::max(0.0, best->width - 1.0));
    double y = std::clamp(p.y - best->y, 0.0, std::max(0.0, best->height - 1.0));
    notify.motion(*best, x, y);
  };
  if (const auto* mouse = std::get_if<MouseEvent>(&event)) {
    int button = mouse->button == MouseButton::right ? BTN_RIGHT : BTN_LEFT;
    moveTo(mouse->point);
    if (mouse->type == MouseEventType::leftDown || mouse->type == MouseEventType::rightDown) {
      notify.button(button, true);
      heldButtons.push_back(button);
    }
  } else if (const auto* scroll = std::get_if<ScrollEvent>(&event)) {
    if (scroll->location) moveTo(*scroll->location);
    // The logic's positive vertical turn scrolls up (its horizontal one left); the services'
    // steps go down and right.
    if (scroll->vertical != 0) notify.axis(AXIS_VERTICAL, -scroll->vertical);
    if (scroll->horizontal != 0) notify.axis(AXIS_HORIZONTAL, -scroll->horizontal);
  }
}

} // namespace plenk::remote
