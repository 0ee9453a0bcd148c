#include "platform/linux/x11_input.hpp"

#include "platform/linux/ansi_keys.hpp"
#include "platform/linux/input_common.hpp"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace plenk {

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

using keys::AnsiKey;
using keys::ansiKey;
using keys::MODIFIER_KEYS;
using keys::ModifierKey;

// The keysym that types one Unicode code point.
KeySym keysymFor(char32_t cp) {
  if (cp == U'\t') return XK_Tab;
  if (cp == U'\r' || cp == U'\n') return XK_Return;
  if ((cp >= 0x20 && cp <= 0x7e) || (cp >= 0xa0 && cp <= 0xff)) return cp;
  return 0x01000000 | cp;
}

// Where a keysym sits in the layout: the key, and whether Shift selects it.
struct Place {
  KeyCode keycode = 0;
  bool shift = false;
};

// A spare key code bound to a keysym for typing.
struct Binding {
  KeyCode keycode = 0;
  KeySym keysym = NoSymbol;
  SteadyTime pressedAt{}; // long ago until its first press
};

int pixel(double v) {
  return static_cast<int>(std::lround(std::clamp(v, -1e6, 1e6)));
}

std::atomic<bool> handlersInstalled{false};
int (*previousErrorHandler)(Display*, XErrorEvent*) = nullptr;
std::mutex displaysLock;
std::vector<std::pair<Display*, std::atomic<bool>*>> ourDisplays;

// Protocol errors on our display are remembered; others go to whoever handled them before.
int onError(Display* display, XErrorEvent* event) {
  {
    std::lock_guard lock(displaysLock);
    for (auto& [d, failed] : ourDisplays)
      if (d == display) {
        failed->store(true);
        return 0;
      }
  }
  return previousErrorHandler ? previousErrorHandler(display, event) : 0;
}

// Xlib's default would print and end the process; the display is marked dead instead.
int onIoError(Display*) {
  return 0;
}
void onIoExit(Display*, void* data) {
  static_cast<std::atomic<bool>*>(data)->store(true);
}

} // namespace

struct X11Input::State {
  std::mutex lock;
  Display* display = nullptr;
  std::atomic<bool> dead{false};
  std::atomic<bool> protocolError{false};
  std::uint64_t nextSource = 1;

  // The layout as last read: where each keysym sits (active group, first two levels), and the
  // key codes that carry nothing.
  std::unordered_map<KeySym, Place> places;
  std::vector<KeyCode> spares;
  bool layoutRead = false;

  std::vector<Binding> bindings;
  // Characters of this request that no key could carry: its next key event is refused.
  bool lostText = false;

  // Keys and buttons pressed by the last event, released before the next one.
  std::vector<KeyCode> heldKeys;
  std::vector<unsigned> heldButtons;

  // The bindings go back once no bound character was pressed for RESTORE_AFTER_MS.
  std::condition_variable wake;
  std::optional<SteadyTime> restoreAt;
  bool stopping = false;
  std::thread restorer;

  ~State() {
    {
      std::lock_guard guard(lock);
      stopping = true;
    }
    wake.notify_all();
    if (restorer.joinable()) restorer.join();
    std::lock_guard guard(lock);
    releaseHeld();
    unbindAll();
    closeDisplay();
  }

  void closeDisplay() {
    if (!display) return;
    {
      std::lock_guard guard(displaysLock);
      std::erase_if(ourDisplays, [&](auto& entry) { return entry.first == display; });
    }
    // Closing a connection whose server died waits for ever inside Xlib: such a one is left as
    // it is (a few kilobytes, once per lost server).
    if (!dead.load()) XCloseDisplay(display);
    display = nullptr;
    places.clear();
    spares.clear();
    bindings.clear();
    heldKeys.clear();
    heldButtons.clear();
    layoutRead = false;
  }

  // The display, opened (again) when needed; null when it cannot be had or lacks XTEST.
  Display* open() {
    if (display && !dead.load()) return display;
    if (display) closeDisplay();
    dead = false;
    protocolError = false;
    if (!handlersInstalled.exchange(true)) {
      previousErrorHandler = XSetErrorHandler(onError);
      XSetIOErrorHandler(onIoError);
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) return nullptr;
    XSetIOErrorExitHandler(d, onIoExit, &dead);
    {
      std::lock_guard guard(displaysLock);
      ourDisplays.emplace_back(d, &protocolError);
    }
    int event = 0, error = 0, major = 0, minor = 0;
    display = d;
    if (!XTestQueryExtension(d, &event, &error, &major, &minor)) {
      closeDisplay();
      return nullptr;
    }
    // Our own presses must not be cut off by a grab of another client.
    XTestGrabControl(d, True);
    if (!restorer.joinable()) restorer = std::thread([this] { restoreLoop(); });
    return d;
  }

  bool usable() { return open() != nullptr && !dead.load(); }

  // Any call may find the server gone; after that no call may touch the connection again (Xlib
  // waits for ever on a dead one).
  bool alive() const { return display && !dead.load(); }
  void sync() {
    if (alive()) XSync(display, False);
  }
  void button(unsigned number, bool down) {
    if (alive()) XTestFakeButtonEvent(display, number, down ? True : False, 0);
  }
  void moveTo(Point p) {
    if (alive()) XTestFakeMotionEvent(display, DefaultScreen(display), pixel(p.x), pixel(p.y), 0);
  }
  // Wheel turns as button clicks: 4 up, 5 down, 6 left, 7 right; a positive amount turns up or
  // left, as the logic's wheel does.
  void turn(std::int32_t amount, unsigned positive, unsigned negative) {
    unsigned number = amount > 0 ? positive : negative;
    std::int64_t n = amount > 0 ? amount : -static_cast<std::int64_t>(amount);
    for (std::int64_t i = 0; i < n; ++i) {
      button(number, true);
      button(number, false);
    }
  }

  // Drops events the server sends every client (keyboard mapping changes), which would pile up.
  void drain() {
    while (alive() && XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
    }
  }

  void readLayout() {
    places.clear();
    spares.clear();
    layoutRead = true;
    if (!alive()) return;
    XkbDescPtr xkb = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb) return;
    XkbStateRec state{};
    if (alive()) XkbGetState(display, XkbUseCoreKbd, &state);
    int group = state.group;
    for (int level = 0; level < 2; ++level) {
      for (int kc = xkb->min_key_code; kc <= xkb->max_key_code; ++kc) {
        int groups = XkbKeyNumGroups(xkb, kc);
        if (groups == 0) {
          if (level == 0) spares.push_back(static_cast<KeyCode>(kc));
          continue;
        }
        int g = group < groups ? group : 0;
        if (level >= XkbKeyGroupWidth(xkb, kc, g)) continue;
        if (level == 1 && !shiftSelectsLevelOne(XkbKeyKeyType(xkb, kc, g))) continue;
        KeySym sym = XkbKeySymEntry(xkb, kc, level, g);
        if (sym != NoSymbol) places.try_emplace(sym, Place{static_cast<KeyCode>(kc), level == 1});
      }
    }
    XkbFreeKeyboard(xkb, 0, True);
    // Codes bound by us count as spare; the highest codes are the least likely to be used.
    for (const auto& b : bindings)
      if (std::find(spares.begin(), spares.end(), b.keycode) == spares.end())
        spares.push_back(b.keycode);
    std::sort(spares.begin(), spares.end(), std::greater<>());
  }

  static bool shiftSelectsLevelOne(XkbKeyTypePtr type) {
    if (!type) return false;
    for (int i = 0; i < type->map_count; ++i) {
      const auto& entry = type->map[i];
      if (entry.active && entry.level == 1 && entry.mods.mask == ShiftMask) return true;
    }
    return false;
  }

  std::optional<Place> place(KeySym sym) {
    if (!layoutRead) readLayout();
    auto it = places.find(sym);
    if (it == places.end()) return std::nullopt;
    return it->second;
  }

  void press(KeyCode kc, bool down) {
    if (alive()) XTestFakeKeyEvent(display, kc, down ? True : False, 0);
  }

  void releaseHeld() {
    if (!display || dead.load()) {
      heldKeys.clear();
      heldButtons.clear();
      return;
    }
    for (auto it = heldKeys.rbegin(); it != heldKeys.rend(); ++it)
      press(*it, false);
    for (unsigned number : heldButtons)
      button(number, false);
    bool any = !heldKeys.empty() || !heldButtons.empty();
    heldKeys.clear();
    heldButtons.clear();
    if (any) sync();
  }

  // Binds each keysym to a spare key code that this chunk does not use yet; the places of the
  // keysyms that could not be bound stay missing.
  void bind(const std::vector<KeySym>& syms, std::vector<KeyCode>& usedNow) {
    for (KeySym sym : syms) {
      // A free spare first, then the binding pressed longest ago.
      KeyCode slot = 0;
      SteadyTime oldest = SteadyTime::max();
      for (KeyCode kc : spares) {
        if (std::find(usedNow.begin(), usedNow.end(), kc) != usedNow.end()) continue;
        auto b = std::find_if(bindings.begin(), bindings.end(),
                              [&](const Binding& x) { return x.keycode == kc; });
        if (b == bindings.end()) {
          slot = kc;
          oldest = SteadyTime::max();
          break;
        }
        if (b->pressedAt < oldest) {
          oldest = b->pressedAt;
          slot = kc;
        }
      }
      if (slot == 0) return;
      // A code pressed a moment ago may not have been translated yet by its receiver, which
      // reads the mapping only then: rebinding it now would change what that press typed.
      if (oldest != SteadyTime::max()) {
        auto reusable = oldest + std::chrono::milliseconds(REUSE_AFTER_MS);
        if (reusable > std::chrono::steady_clock::now()) {
          sync();
          std::this_thread::sleep_until(reusable);
        }
      }
      auto b = std::find_if(bindings.begin(), bindings.end(),
                            [&](const Binding& x) { return x.keycode == slot; });
      if (b != bindings.end()) {
        places.erase(b->keysym);
        b->keysym = sym;
      } else {
        bindings.push_back({slot, sym});
      }
      // Both levels carry the keysym, so that no case pair is made of it (an "É" bound alone
      // would type "é").
      KeySym both[2] = {sym, sym};
      if (alive()) XChangeKeyboardMapping(display, slot, 2, both, 1);
      places[sym] = Place{slot, false};
      usedNow.push_back(slot);
    }
  }

  void unbindAll() {
    if (bindings.empty()) return;
    if (display && !dead.load()) {
      for (const auto& b : bindings) {
        KeySym none = NoSymbol;
        if (alive()) XChangeKeyboardMapping(display, b.keycode, 1, &none, 1);
        places.erase(b.keysym);
      }
      sync();
      drain();
    }
    bindings.clear();
  }

  void typeText(std::u16string_view units) {
    std::vector<KeySym> syms;
    for (char32_t cp : input::codePoints(units))
      syms.push_back(keysymFor(cp));
    std::size_t next = 0;
    bool boundAny = false;
    auto freeSpares = [&](const std::vector<KeyCode>& usedNow) {
      return static_cast<std::size_t>(std::count_if(spares.begin(), spares.end(), [&](KeyCode kc) {
        return std::find(usedNow.begin(), usedNow.end(), kc) == usedNow.end();
      }));
    };
    while (next < syms.size()) {
      // The longest run from `next` whose missing keysyms fit into the spare codes at once.
      std::vector<KeySym> missing;
      std::vector<KeyCode> usedNow;
      std::size_t end = next;
      for (; end < syms.size(); ++end) {
        auto p = place(syms[end]);
        if (p) {
          if (std::find(usedNow.begin(), usedNow.end(), p->keycode) == usedNow.end())
            usedNow.push_back(p->keycode);
          continue;
        }
        if (std::find(missing.begin(), missing.end(), syms[end]) != missing.end()) continue;
        if (missing.size() >= freeSpares(usedNow)) break;
        missing.push_back(syms[end]);
      }
      if (!missing.empty()) {
        bind(missing, usedNow);
        sync();
        boundAny = true;
      }
      if (end == next) end = next + 1; // nothing fits: the character is lost below
      for (std::size_t i = next; i < end; ++i) {
        auto p = place(syms[i]);
        if (!p) {
          lostText = true;
          continue;
        }
        for (auto& b : bindings)
          if (b.keycode == p->keycode) {
            b.pressedAt = std::chrono::steady_clock::now();
            restoreAt = b.pressedAt + std::chrono::milliseconds(RESTORE_AFTER_MS);
          }
        KeyCode shift = p->shift ? modifierKey(MODIFIER_KEYS[2]) : 0;
        if (shift) press(shift, true);
        press(p->keycode, true);
        press(p->keycode, false);
        if (shift) press(shift, false);
      }
      next = end;
    }
    sync();
    if (boundAny) wake.notify_all();
  }

  KeyCode modifierKey(const ModifierKey& m) {
    auto p = place(m.keysym);
    return p && !p->shift ? p->keycode : m.evdev;
  }

  void pressChord(const AnsiKey& key, std::uint64_t flags) {
    auto p = place(key.keysym);
    KeyCode kc = p ? p->keycode : key.evdev;
    bool needShift = p && p->shift;
    for (const auto& m : MODIFIER_KEYS) {
      bool wanted = (flags & m.flags) != 0 || (m.keysym == XK_Shift_L && needShift);
      if (!wanted) continue;
      KeyCode mk = modifierKey(m);
      press(mk, true);
      heldKeys.push_back(mk);
    }
    press(kc, true);
    heldKeys.push_back(kc);
    sync();
  }

  void restoreLoop() {
    std::unique_lock guard(lock);
    while (!stopping) {
      if (!restoreAt) {
        wake.wait(guard);
        continue;
      }
      if (std::chrono::steady_clock::now() < *restoreAt) {
        wake.wait_until(guard, *restoreAt);
        continue;
      }
      restoreAt.reset();
      unbindAll();
    }
  }
};

X11Input::X11Input() : state_(std::make_unique<State>()) {}

X11Input::~X11Input() = default;

bool X11Input::available() {
  std::lock_guard guard(state_->lock);
  return state_->usable();
}

void X11Input::finish() {
  std::lock_guard guard(state_->lock);
  state_->releaseHeld();
  state_->restoreAt.reset();
  state_->unbindAll();
}

bool X11Input::screenCaptureAllowed() {
  return available();
}

bool X11Input::requestScreenCapture() {
  return available();
}

std::optional<EventSource> X11Input::createSource() {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  if (!s.usable()) return std::nullopt;
  s.releaseHeld();
  s.drain();
  // Each request sees the layout as it is now.
  s.readLayout();
  s.lostText = false;
  s.protocolError = false;
  return EventSource{s.nextSource++};
}

std::optional<KeyEvent> X11Input::createKeyEvent(const std::optional<EventSource>& source,
                                                 std::uint16_t keyCode, bool down) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  // Text this request could not type, or a request the server refused, ends its typing.
  return input::keyEvent(s.usable() && !s.lostText && !s.protocolError.load(), source, keyCode,
                         down);
}

std::optional<MouseEvent> X11Input::createMouseEvent(const std::optional<EventSource>& source,
                                                     MouseEventType type, Point point,
                                                     MouseButton button) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::mouseEvent(s.usable(), source, type, point, button);
}

std::optional<ScrollEvent> X11Input::createScrollEvent(const std::optional<EventSource>& source,
                                                       std::int32_t vertical,
                                                       std::int32_t horizontal) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::scrollEvent(s.usable(), source, vertical, horizontal);
}

void X11Input::post(const InputEvent& event) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  if (!s.display || s.dead.load()) return;
  // Whatever the last event pressed goes up first: nothing stays down past its own pair.
  s.releaseHeld();
  s.drain();
  if (const auto* key = std::get_if<KeyEvent>(&event)) {
    if (!key->down) return; // its key and modifiers were released above
    if (!key->text.empty()) {
      s.typeText(key->text);
    } else if (const AnsiKey* ansi = ansiKey(key->keyCode)) {
      s.pressChord(*ansi, key->flags);
    }
  } else if (const auto* mouse = std::get_if<MouseEvent>(&event)) {
    unsigned button = mouse->button == MouseButton::right ? 3 : 1;
    s.moveTo(mouse->point);
    switch (mouse->type) {
    case MouseEventType::leftDown:
    case MouseEventType::rightDown:
      s.button(button, true);
      s.heldButtons.push_back(button);
      break;
    case MouseEventType::leftUp:
    case MouseEventType::rightUp:
      // Released above, with whatever else was held.
      break;
    case MouseEventType::moved:
      break;
    }
    s.sync();
  } else if (const auto* scroll = std::get_if<ScrollEvent>(&event)) {
    if (scroll->location) s.moveTo(*scroll->location);
    s.turn(scroll->vertical, 4, 5);
    s.turn(scroll->horizontal, 6, 7);
    s.sync();
  }
}

} // namespace plenk
