#include "platform/linux/kwin_input.hpp"

#include "fake-input-client.h"
#include "platform/linux/ansi_keys.hpp"
#include "platform/linux/input_common.hpp"
#include "platform/linux/kwin.hpp"
#include "platform/linux/layout_keys.hpp"
#include "platform/linux/session.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <wayland-client.h>

namespace plenk {

namespace {

using Clock = std::chrono::steady_clock;

// linux/input-event-codes.h
constexpr std::uint32_t BTN_LEFT = 0x110, BTN_RIGHT = 0x111;
constexpr std::uint32_t KEY_LEFTCTRL = 29, KEY_LEFTSHIFT = 42, KEY_RIGHTALT = 100;
constexpr std::uint32_t EVDEV_OFFSET = 8;
constexpr std::uint32_t PRESSED = 1, RELEASED = 0;
constexpr std::uint32_t AXIS_VERTICAL = 0, AXIS_HORIZONTAL = 1;
// One wheel notch as libinput reports it, in the compositor's scroll units.
constexpr double NOTCH = 15.0;
// KWin's devices lose what they get the moment they appear.
constexpr auto DEVICE_SETTLE = std::chrono::milliseconds(200);
// After the desktop entry is written, KWin sees it when it next looks at the menu's folders.
constexpr auto GRANT_WAIT = std::chrono::milliseconds(4000);
constexpr auto GRANT_POLL = std::chrono::milliseconds(250);

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

layout::Keys kwinLayout() {
  std::string home = env("XDG_CONFIG_HOME");
  if (home.empty()) home = env("HOME") + "/.config";
  std::ifstream in(home + "/kxkbrc");
  std::stringstream text;
  text << in.rdbuf();
  auto names = kwin_keys::layoutNames(text.str());
  return layout::compile(names.layout, names.variant, names.options);
}

} // namespace

kwin_keys::LayoutNames kwin_keys::layoutNames(const std::string& kxkbrc) {
  std::map<std::string, std::string> keys;
  std::istringstream in(kxkbrc);
  std::string line, group;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with('[')) {
      group = line;
      continue;
    }
    auto eq = line.find('=');
    if (group == "[Layout]" && eq != std::string::npos)
      keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  auto first = [](const std::string& list) { return list.substr(0, list.find(',')); };
  LayoutNames names;
  // Without layouts of its own KWin takes XKB's defaults from the environment.
  if (keys["Use"] != "true" || first(keys["LayoutList"]).empty()) {
    if (!env("XKB_DEFAULT_LAYOUT").empty()) {
      names.layout = first(env("XKB_DEFAULT_LAYOUT"));
      names.variant = first(env("XKB_DEFAULT_VARIANT"));
      names.options = env("XKB_DEFAULT_OPTIONS");
    }
    return names;
  }
  names.layout = first(keys["LayoutList"]);
  names.variant = first(keys["VariantList"]);
  names.options = keys["Options"];
  return names;
}

struct KwinInput::State {
  std::mutex lock;
  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  org_kde_kwin_fake_input* device = nullptr;
  Clock::time_point readyAt{};
  layout::Keys layout = kwinLayout();
  std::vector<std::uint32_t> heldKeys, heldButtons; // evdev codes
  std::uint64_t nextSource = 1;

  static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version) {
    auto* s = static_cast<State*>(data);
    // Absolute motion came with version 3, keys with 4.
    if (std::string_view(interface) == org_kde_kwin_fake_input_interface.name && version >= 4 &&
        !s->device)
      s->device = static_cast<org_kde_kwin_fake_input*>(
          wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
  }
  static void globalRemove(void*, wl_registry*, uint32_t) {}
  static constexpr wl_registry_listener REGISTRY_LISTENER = {global, globalRemove};

  bool ready() const { return display && wl_display_get_error(display) == 0 && device; }

  void disconnect() {
    if (display) wl_display_disconnect(display);
    display = nullptr;
    registry = nullptr;
    device = nullptr;
    heldKeys.clear();
    heldButtons.clear();
  }

  // Connected with the device, connecting again after KWin went away.
  bool usable() {
    if (ready()) return true;
    disconnect();
    if (currentSession() != SessionKind::kde) return false;
    display = wl_display_connect(nullptr);
    if (!display) return false;
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &REGISTRY_LISTENER, this);
    if (wl_display_roundtrip(display) < 0 || !device) {
      disconnect();
      return false;
    }
    org_kde_kwin_fake_input_authenticate(device, "plenk-hands",
                                         "Clicks and types for the desktop assistant");
    if (wl_display_roundtrip(display) < 0) {
      disconnect();
      return false;
    }
    readyAt = Clock::now() + DEVICE_SETTLE;
    return true;
  }

  // Writes the entry that lets us in, then waits for KWin to see it.
  bool grant() {
    if (usable()) return true;
    if (currentSession() != SessionKind::kde) return false;
    std::string problem = kwin::installInputEntry();
    if (!problem.empty()) {
      std::fprintf(stderr, "plenk-hands: %s\n", problem.c_str());
      return false;
    }
    auto until = Clock::now() + GRANT_WAIT;
    while (!usable() && Clock::now() < until)
      std::this_thread::sleep_for(GRANT_POLL);
    if (ready()) return true;
    std::fprintf(stderr,
                 "plenk-hands: KWin does not offer its fake input to plenk-hands, though %s "
                 "names it: log out and back in.\n",
                 kwin::inputEntryPath(kwin::ownExecutable()).c_str());
    return false;
  }

  void settle() {
    if (Clock::now() < readyAt) std::this_thread::sleep_until(readyAt);
  }
  bool sync() { return wl_display_roundtrip(display) >= 0; }

  void key(std::uint32_t evdev, bool down) {
    org_kde_kwin_fake_input_keyboard_key(device, evdev, down ? PRESSED : RELEASED);
  }
  void tap(std::uint32_t evdev) {
    key(evdev, true);
    key(evdev, false);
  }
  // The layout's key of a keysym with its level's modifiers; false when the layout lacks it.
  bool tapSym(std::uint32_t sym) {
    const layout::Key* k = layout.find(sym);
    if (!k) return false;
    if (k->shift) key(KEY_LEFTSHIFT, true);
    if (k->altGr) key(KEY_RIGHTALT, true);
    tap(k->code - EVDEV_OFFSET);
    if (k->altGr) key(KEY_RIGHTALT, false);
    if (k->shift) key(KEY_LEFTSHIFT, false);
    return true;
  }

  void releaseHeld() {
    bool any = !heldKeys.empty() || !heldButtons.empty();
    for (auto it = heldKeys.rbegin(); it != heldKeys.rend(); ++it)
      key(*it, false);
    for (std::uint32_t b : heldButtons)
      org_kde_kwin_fake_input_button(device, b, RELEASED);
    heldKeys.clear();
    heldButtons.clear();
    if (any) sync();
  }

  // A chord: the modifiers by place, the key by the keysym it carries on a US layout where KWin's
  // layout has it (so "cmd+z" is Control+z everywhere), else by its place.
  void pressChord(const keys::AnsiKey& ansi, std::uint64_t flags) {
    for (const auto& m : keys::MODIFIER_KEYS)
      if (flags & m.flags) {
        key(m.evdev - EVDEV_OFFSET, true);
        heldKeys.push_back(m.evdev - EVDEV_OFFSET);
      }
    const layout::Key* k = layout.find(ansi.keysym);
    std::uint32_t code = (k && !k->shift && !k->altGr ? k->code : ansi.evdev) - EVDEV_OFFSET;
    key(code, true);
    heldKeys.push_back(code);
    sync();
  }

  std::optional<int> focusedPid() {
    for (const auto& w : kwin::windows().value_or(std::vector<kwin::Window>{}))
      if (w.focused) return w.pid;
    return std::nullopt;
  }

  // GTK's Unicode entry: Ctrl+Shift+U, the code point in hex, then space to end it.
  void typeByCode(char32_t cp) {
    key(KEY_LEFTCTRL, true);
    key(KEY_LEFTSHIFT, true);
    if (const layout::Key* u = layout.find('u')) tap(u->code - EVDEV_OFFSET);
    key(KEY_LEFTSHIFT, false);
    key(KEY_LEFTCTRL, false);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(cp));
    for (const char* c = hex; *c; ++c)
      tapSym(static_cast<std::uint32_t>(static_cast<unsigned char>(*c)));
    tapSym(' ');
  }

  void typeText(std::u16string_view text) {
    for (char32_t cp : input::codePoints(text)) {
      std::uint32_t sym = layout::symOf(cp);
      if (sym != 0 && !tapSym(sym)) typeByCode(cp);
    }
    sync();
  }

  void moveTo(Point p) {
    org_kde_kwin_fake_input_pointer_motion_absolute(device, wl_fixed_from_double(p.x),
                                                    wl_fixed_from_double(p.y));
  }

  void turn(std::int32_t lines, std::uint32_t axis) {
    // The logic's positive vertical turn scrolls up (its horizontal one left); Wayland's axis
    // values go down and right.
    if (lines != 0)
      org_kde_kwin_fake_input_axis(device, axis, wl_fixed_from_double(-NOTCH * lines));
  }
};

KwinInput::KwinInput() : state_(std::make_unique<State>()) {
  std::lock_guard guard(state_->lock);
  state_->usable();
}

KwinInput::~KwinInput() {
  std::lock_guard guard(state_->lock);
  if (state_->ready()) state_->releaseHeld();
  state_->disconnect();
}

bool KwinInput::available() {
  std::lock_guard guard(state_->lock);
  return state_->usable();
}

void KwinInput::finish() {
  std::lock_guard guard(state_->lock);
  if (state_->ready()) state_->releaseHeld();
}

bool KwinInput::screenCaptureAllowed() {
  return available();
}

bool KwinInput::requestScreenCapture() {
  std::lock_guard guard(state_->lock);
  return state_->grant();
}

bool KwinInput::canType(std::u16string_view text) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return s.usable() && layout::typeable(text, s.layout, [&] { return s.focusedPid(); });
}

std::optional<EventSource> KwinInput::createSource() {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  if (!s.usable()) return std::nullopt;
  s.releaseHeld();
  return EventSource{s.nextSource++};
}

std::optional<KeyEvent> KwinInput::createKeyEvent(const std::optional<EventSource>& source,
                                                  std::uint16_t keyCode, bool down) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::keyEvent(s.usable(), source, keyCode, down);
}

std::optional<MouseEvent> KwinInput::createMouseEvent(const std::optional<EventSource>& source,
                                                      MouseEventType type, Point point,
                                                      MouseButton button) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::mouseEvent(s.usable(), source, type, point, button);
}

std::optional<ScrollEvent> KwinInput::createScrollEvent(const std::optional<EventSource>& source,
                                                        std::int32_t vertical,
                                                        std::int32_t horizontal) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::scrollEvent(s.usable(), source, vertical, horizontal);
}

void KwinInput::post(const InputEvent& event) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  if (!s.ready()) return;
  s.settle();
  // Whatever the last event pressed goes up first: nothing stays down past its own pair.
  s.releaseHeld();
  if (const auto* key = std::get_if<KeyEvent>(&event)) {
    if (!key->down) return; // its key and modifiers were released above
    if (!key->text.empty())
      s.typeText(key->text);
    else if (const auto* ansi = keys::ansiKey(key->keyCode))
      s.pressChord(*ansi, key->flags);
  } else if (const auto* mouse = std::get_if<MouseEvent>(&event)) {
    std::uint32_t button = mouse->button == MouseButton::right ? BTN_RIGHT : BTN_LEFT;
    s.moveTo(mouse->point);
    if (mouse->type == MouseEventType::leftDown || mouse->type == MouseEventType::rightDown) {
      org_kde_kwin_fake_input_button(s.device, button, PRESSED);
      s.heldButtons.push_back(button);
    }
    s.sync();
  } else if (const auto* scroll = std::get_if<ScrollEvent>(&event)) {
    if (scroll->location) s.moveTo(*scroll->location);
    s.turn(scroll->vertical, AXIS_VERTICAL);
    s.turn(scroll->horizontal, AXIS_HORIZONTAL);
    s.sync();
  }
}

} // namespace plenk
