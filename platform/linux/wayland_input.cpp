#include "platform/linux/wayland_input.hpp"

#include "platform/linux/ansi_keys.hpp"
#include "platform/linux/input_common.hpp"
#include "platform/linux/layout_keys.hpp"
#include "platform/linux/session.hpp"
#include "platform/linux/sway_ipc.hpp"
#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <span>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace plenk {

namespace {

using Clock = std::chrono::steady_clock;

// linux/input-event-codes.h
constexpr std::uint32_t BTN_LEFT = 0x110;
constexpr std::uint32_t BTN_RIGHT = 0x111;
// XKB key codes are evdev codes + 8.
constexpr std::uint32_t EVDEV_OFFSET = 8;
// One wheel notch as libinput reports it, in the compositor's scroll units.
constexpr double NOTCH = 15.0;
constexpr std::uint32_t KEYMAP_FORMAT_XKB_V1 = 1;
constexpr std::uint32_t KEY_PRESSED = 1, KEY_RELEASED = 0;
// The modifier masks of MODIFIER_KEYS (Control, Mod1, Shift) in our keymap: XKB's real
// modifiers come first, in the order Shift, Lock, Control, Mod1.
constexpr std::uint32_t MODIFIER_MASKS[] = {1u << 2, 1u << 3, 1u << 0};

std::string keyName(unsigned code) {
  char name[8];
  std::snprintf(name, sizeof name, "<k%02x>", code);
  return name;
}

std::string symName(std::uint32_t sym) {
  char name[64];
  if (xkb_keysym_get_name(sym, name, sizeof name) <= 0) return "NoSymbol";
  return name;
}

// The two levels of each ANSI key on a US keyboard, read from the system's keyboard data; the
// table's own keysym alone where that data is missing.
std::vector<std::pair<std::uint32_t, std::uint32_t>> usLevels() {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> levels;
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  xkb_rule_names names{"evdev", "pc105", "us", "", ""};
  xkb_keymap* us =
      context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
  for (const auto& key : keys::ANSI_KEYS) {
    std::pair<std::uint32_t, std::uint32_t> level{key.keysym, 0};
    if (us) {
      const xkb_keysym_t* syms = nullptr;
      if (xkb_keymap_key_get_syms_by_level(us, key.evdev, 0, 0, &syms) == 1) level.first = syms[0];
      if (xkb_keymap_key_get_syms_by_level(us, key.evdev, 0, 1, &syms) == 1) level.second = syms[0];
    }
    levels.push_back(level);
  }
  if (us) xkb_keymap_unref(us);
  if (context) xkb_context_unref(context);
  return levels;
}

// One output's place in the compositor's layout.
struct Output {
  wl_output* output = nullptr;
  std::uint32_t name = 0;
  int x = 0, y = 0, width = 0, height = 0, scale = 1;
};

const wl_output_listener OUTPUT_LISTENER = {
    [](void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
       const char*, int32_t) {
      auto* o = static_cast<Output*>(data);
      o->x = x;
      o->y = y;
    },
    [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
      auto* o = static_cast<Output*>(data);
      if (flags & WL_OUTPUT_MODE_CURRENT) {
        o->width = width;
        o->height = height;
      }
    },
    [](void*, wl_output*) {},
    [](void* data, wl_output*, int32_t scale) { static_cast<Output*>(data)->scale = scale; },
    [](void*, wl_output*, const char*) {},
    [](void*, wl_output*, const char*) {},
};

} // namespace

std::string wayland_keys::keymap(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& levels,
                                 const std::vector<std::uint32_t>& typing) {
  std::map<unsigned, std::string> keys; // key code -> its keysyms
  for (std::size_t i = 0; i < std::size(keys::ANSI_KEYS) && i < levels.size(); ++i) {
    auto [base, shifted] = levels[i];
    keys[keys::ANSI_KEYS[i].evdev] = symName(base) + (shifted ? ", " + symName(shifted) : "");
  }
  for (const auto& m : keys::MODIFIER_KEYS)
    keys[m.evdev] = symName(m.keysym);
  for (std::size_t i = 0; i < typing.size() && i < TYPING_COUNT; ++i)
    keys[TYPING_CODES[i]] = typing[i] ? symName(typing[i]) : "NoSymbol";
  std::string codes, symbols;
  for (const auto& [code, syms] : keys) {
    codes += "    " + keyName(code) + " = " + std::to_string(code) + ";\n";
    symbols += "    key " + keyName(code) + " { [ " + syms + " ] };\n";
  }
  const char* maps[] = {"Control", "Mod1", "Shift"};
  for (std::size_t i = 0; i < std::size(keys::MODIFIER_KEYS); ++i)
    symbols += std::string("    modifier_map ") + maps[i] + " { " +
               keyName(keys::MODIFIER_KEYS[i].evdev) + " };\n";
  return "xkb_keymap {\n  xkb_keycodes \"plenk\" {\n    minimum = 8;\n    maximum = 255;\n" +
         codes +
         "  };\n  xkb_types \"plenk\" { include \"complete\" };\n"
         "  xkb_compatibility \"plenk\" { include \"complete\" };\n"
         "  xkb_symbols \"plenk\" {\n" +
         symbols + "  };\n};\n";
}

struct WaylandInput::State {
  std::mutex lock;
  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  wl_seat* seat = nullptr;
  zwlr_virtual_pointer_manager_v1* pointers = nullptr;
  zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
  zwlr_virtual_pointer_v1* pointer = nullptr;
  zwp_virtual_keyboard_v1* keyboard = nullptr;
  std::vector<std::unique_ptr<Output>> outputs;
  Clock::time_point readyAt{};
  Clock::time_point epoch = Clock::now();
  std::vector<std::pair<std::uint32_t, std::uint32_t>> levels = usLevels();
  std::vector<std::uint32_t> typing; // the keysyms of the typing block now
  std::vector<std::uint32_t> heldKeys, heldButtons;
  std::uint64_t nextSource = 1;

  static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version) {
    auto* s = static_cast<State*>(data);
    std::string_view i = interface;
    if (i == wl_seat_interface.name && !s->seat) {
      s->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (i == wl_output_interface.name) {
      auto o = std::make_unique<Output>();
      o->name = name;
      o->output = static_cast<wl_output*>(
          wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 2u)));
      wl_output_add_listener(o->output, &OUTPUT_LISTENER, o.get());
      s->outputs.push_back(std::move(o));
    } else if (i == zwlr_virtual_pointer_manager_v1_interface.name) {
      s->pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
          wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (i == zwp_virtual_keyboard_manager_v1_interface.name) {
      s->keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
          wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
  }
  static void globalRemove(void* data, wl_registry*, uint32_t name) {
    auto* s = static_cast<State*>(data);
    std::erase_if(s->outputs, [&](const std::unique_ptr<Output>& o) {
      if (o->name != name) return false;
      wl_output_destroy(o->output);
      return true;
    });
  }
  static constexpr wl_registry_listener REGISTRY_LISTENER = {global, globalRemove};

  bool alive() const { return display && wl_display_get_error(display) == 0; }
  bool ready() const { return alive() && pointer && keyboard; }

  void disconnect() {
    if (!display) return;
    // The compositor frees everything of a client that goes.
    wl_display_disconnect(display);
    display = nullptr;
    registry = nullptr;
    seat = nullptr;
    pointers = nullptr;
    keyboards = nullptr;
    pointer = nullptr;
    keyboard = nullptr;
    outputs.clear();
    heldKeys.clear();
    heldButtons.clear();
  }

  // Connected with both devices, connecting again after the compositor went away.
  bool usable() {
    if (ready()) return true;
    disconnect();
    if (!isWayland(currentSession())) return false;
    display = wl_display_connect(nullptr);
    if (!display) return false;
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &REGISTRY_LISTENER, this);
    // The globals, then the outputs' own events.
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0 || !seat ||
        !pointers || !keyboards) {
      disconnect();
      return false;
    }
    pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);
    keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards, seat);
    typing.clear();
    uploadKeymap();
    if (wl_display_roundtrip(display) < 0) {
      disconnect();
      return false;
    }
    readyAt = Clock::now() + std::chrono::milliseconds(DEVICE_SETTLE_MS);
    return ready();
  }

  void settle() {
    auto now = Clock::now();
    if (now < readyAt) std::this_thread::sleep_until(readyAt);
  }

  std::uint32_t now() const {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - epoch).count());
  }

  void uploadKeymap() {
    std::string text = wayland_keys::keymap(levels, typing);
    int fd = memfd_create("plenk-keymap", MFD_CLOEXEC);
    if (fd < 0) return;
    // The size the compositor maps includes the terminating NUL.
    std::size_t size = text.size() + 1;
    if (write(fd, text.c_str(), size) == static_cast<ssize_t>(size))
      zwp_virtual_keyboard_v1_keymap(keyboard, KEYMAP_FORMAT_XKB_V1, fd,
                                     static_cast<std::uint32_t>(size));
    close(fd);
  }

  void key(std::uint32_t code, bool down) {
    zwp_virtual_keyboard_v1_key(keyboard, now(), code - EVDEV_OFFSET,
                                down ? KEY_PRESSED : KEY_RELEASED);
  }

  void tap(std::uint32_t code) {
    key(code, true);
    key(code, false);
  }

  // Waits until the compositor has taken everything sent; false when it refused something.
  bool sync() { return wl_display_roundtrip(display) >= 0; }

  void modifiers(std::uint32_t depressed) {
    zwp_virtual_keyboard_v1_modifiers(keyboard, depressed, 0, 0, 0);
  }

  void releaseHeld() {
    bool any = !heldKeys.empty() || !heldButtons.empty();
    for (auto it = heldKeys.rbegin(); it != heldKeys.rend(); ++it)
      key(*it, false);
    if (heldKeys.size() > 1) modifiers(0);
    for (std::uint32_t b : heldButtons) {
      zwlr_virtual_pointer_v1_button(pointer, now(), b, WL_POINTER_BUTTON_STATE_RELEASED);
      zwlr_virtual_pointer_v1_frame(pointer);
    }
    heldKeys.clear();
    heldButtons.clear();
    if (any) sync();
  }

  void pressChord(const keys::AnsiKey& ansi, std::uint64_t flags) {
    // The character keys hold typed characters: give them their ANSI meaning back.
    if (!typing.empty()) {
      typing.clear();
      uploadKeymap();
    }
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < std::size(keys::MODIFIER_KEYS); ++i) {
      const auto& m = keys::MODIFIER_KEYS[i];
      if (!(flags & m.flags)) continue;
      key(m.evdev, true);
      heldKeys.push_back(m.evdev);
      mask |= MODIFIER_MASKS[i];
    }
    // A virtual keyboard's keys do not change the compositor's modifier state: it is told.
    if (mask) modifiers(mask);
    key(ansi.evdev, true);
    heldKeys.push_back(ansi.evdev);
    sync();
  }

  // The typing block's key code of a keysym, giving the block a new keymap (this character and
  // the next ones of the text that are missing) when it lacks it.
  std::uint32_t typingCode(std::uint32_t sym, std::span<const std::uint32_t> rest) {
    auto found = std::find(typing.begin(), typing.end(), sym);
    if (found == typing.end()) {
      if (typing.size() + 1 > wayland_keys::TYPING_COUNT) typing.clear();
      for (std::uint32_t next : rest) {
        if (typing.size() >= wayland_keys::TYPING_COUNT) break;
        if (next && std::find(typing.begin(), typing.end(), next) == typing.end())
          typing.push_back(next);
      }
      uploadKeymap();
      found = std::find(typing.begin(), typing.end(), sym);
    }
    return wayland_keys::TYPING_CODES[found - typing.begin()];
  }

  void typeText(std::u16string_view text) {
    // Each character's keysym; a tab and a line end are their keys, other control characters
    // type nothing (toolkits drop them anyway).
    std::vector<std::uint32_t> syms;
    for (char32_t cp : input::codePoints(text)) {
      if (cp == U'\t')
        syms.push_back(XK_Tab);
      else if (cp == U'\r' || cp == U'\n')
        syms.push_back(XK_Return);
      else if (cp < 0x20 || (cp >= 0x7f && cp < 0xa0))
        syms.push_back(0);
      else
        syms.push_back(xkb_utf32_to_keysym(cp));
    }
    for (std::size_t i = 0; i < syms.size(); ++i) {
      std::uint32_t sym = syms[i];
      if (sym == XK_Tab)
        tap(keys::ansiKey(48)->evdev);
      else if (sym == XK_Return)
        tap(keys::ansiKey(36)->evdev);
      else if (sym)
        tap(typingCode(sym, std::span(syms).subspan(i)));
    }
    sync();
  }

  // The layout's box: sway's logical output rectangles where sway answers, else the outputs'
  // modes at their scale.
  struct Box {
    int x = 0, y = 0, width = 0, height = 0;
  };
  Box layout() {
    std::vector<Box> boxes;
    if (currentSession() == SessionKind::sway) {
      constexpr unsigned GET_OUTPUTS = 3;
      if (auto text = sway::request(sway::socketPath(), GET_OUTPUTS, "")) {
        auto j = nlohmann::json::parse(*text, nullptr, false);
        if (j.is_array())
          for (const auto& o : j)
            if (o.is_object() && o.value("active", false) && o.contains("rect")) {
              const auto& r = o["rect"];
              boxes.push_back(
                  {r.value("x", 0), r.value("y", 0), r.value("width", 0), r.value("height", 0)});
            }
      }
    }
    if (boxes.empty())
      for (const auto& o : outputs)
        boxes.push_back(
            {o->x, o->y, o->width / std::max(1, o->scale), o->height / std::max(1, o->scale)});
    if (boxes.empty()) return {};
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    for (const auto& b : boxes) {
      left = std::min(left, b.x);
      top = std::min(top, b.y);
      right = std::max(right, b.x + b.width);
      bottom = std::max(bottom, b.y + b.height);
    }
    return {left, top, right - left, bottom - top};
  }

  void moveTo(Point p) {
    Box box = layout();
    if (box.width <= 0 || box.height <= 0) return;
    auto at = [](double v, int origin, int extent) {
      return static_cast<std::uint32_t>(
          std::clamp<long>(std::lround(v) - origin, 0, std::max(0, extent - 1)));
    };
    zwlr_virtual_pointer_v1_motion_absolute(
        pointer, now(), at(p.x, box.x, box.width), at(p.y, box.y, box.height),
        static_cast<std::uint32_t>(box.width), static_cast<std::uint32_t>(box.height));
    zwlr_virtual_pointer_v1_frame(pointer);
  }

  void turn(std::int32_t lines, std::uint32_t axis) {
    if (lines == 0) return;
    // The logic's positive vertical turn scrolls up (and its horizontal one left); Wayland's
    // positive axis values go down and right.
    double value = -NOTCH * lines;
    zwlr_virtual_pointer_v1_axis_source(pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
    zwlr_virtual_pointer_v1_axis_discrete(pointer, now(), axis, wl_fixed_from_double(value),
                                          -lines);
    zwlr_virtual_pointer_v1_frame(pointer);
  }
};

WaylandInput::WaylandInput() : state_(std::make_unique<State>()) {
  std::lock_guard guard(state_->lock);
  state_->usable();
}

WaylandInput::~WaylandInput() {
  std::lock_guard guard(state_->lock);
  if (state_->ready()) state_->releaseHeld();
  state_->disconnect();
}

bool WaylandInput::available() {
  std::lock_guard guard(state_->lock);
  return state_->usable();
}

void WaylandInput::finish() {
  std::lock_guard guard(state_->lock);
  if (state_->ready()) state_->releaseHeld();
}

bool WaylandInput::screenCaptureAllowed() {
  return available();
}

bool WaylandInput::requestScreenCapture() {
  return available();
}

bool WaylandInput::canType(std::u16string_view text) {
  auto codes = input::codePoints(text);
  if (std::none_of(codes.begin(), codes.end(), [](char32_t cp) { return cp > 0xffff; }))
    return true;
  if (currentSession() != SessionKind::sway) return true;
  for (const auto& w : sway::windows().value_or(std::vector<sway::Window>{}))
    if (w.focused) return w.x11 || !layout::runsChromium(w.pid);
  return true;
}

std::optional<EventSource> WaylandInput::createSource() {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  if (!s.usable()) return std::nullopt;
  s.releaseHeld();
  return EventSource{s.nextSource++};
}

std::optional<KeyEvent> WaylandInput::createKeyEvent(const std::optional<EventSource>& source,
                                                     std::uint16_t keyCode, bool down) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::keyEvent(s.usable(), source, keyCode, down);
}

std::optional<MouseEvent> WaylandInput::createMouseEvent(const std::optional<EventSource>& source,
                                                         MouseEventType type, Point point,
                                                         MouseButton button) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::mouseEvent(s.usable(), source, type, point, button);
}

std::optional<ScrollEvent> WaylandInput::createScrollEvent(const std::optional<EventSource>& source,
                                                           std::int32_t vertical,
                                                           std::int32_t horizontal) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::scrollEvent(s.usable(), source, vertical, horizontal);
}

void WaylandInput::post(const InputEvent& event) {
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
      zwlr_virtual_pointer_v1_button(s.pointer, s.now(), button, WL_POINTER_BUTTON_STATE_PRESSED);
      zwlr_virtual_pointer_v1_frame(s.pointer);
      s.heldButtons.push_back(button);
    }
    s.sync();
  } else if (const auto* scroll = std::get_if<ScrollEvent>(&event)) {
    if (scroll->location) s.moveTo(*scroll->location);
    s.turn(scroll->vertical, WL_POINTER_AXIS_VERTICAL_SCROLL);
    s.turn(scroll->horizontal, WL_POINTER_AXIS_HORIZONTAL_SCROLL);
    s.sync();
  }
}

} // namespace plenk
