#include "platform/linux/mutter_input.hpp"

#include "platform/linux/ansi_keys.hpp"
#include "platform/linux/gnome_shell.hpp"
#include "platform/linux/input_common.hpp"
#include "platform/linux/layout_keys.hpp"
#include "platform/linux/session.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <gio/gio.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <xkbcommon/xkbcommon.h>

namespace plenk {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* RD_NAME = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* RD_SESSION = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char* SC_NAME = "org.gnome.Mutter.ScreenCast";
constexpr const char* SC_SESSION = "org.gnome.Mutter.ScreenCast.Session";
constexpr int CALL_TIMEOUT_MS = 2000;
// Mutter's virtual devices lose what they get the moment they appear.
constexpr auto SESSION_SETTLE = std::chrono::milliseconds(200);
// linux/input-event-codes.h
constexpr int BTN_LEFT = 0x110, BTN_RIGHT = 0x111;
constexpr std::uint32_t EVDEV_OFFSET = 8;
constexpr std::uint32_t AXIS_VERTICAL = 0, AXIS_HORIZONTAL = 1;

// The keys of the user's first GNOME input source (the layout Mutter types with); a US layout
// where GNOME's settings say nothing.
layout::Keys gnomeLayout() {
  std::string layout = "us", variant;
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  GSettingsSchema* schema =
      source ? g_settings_schema_source_lookup(source, "org.gnome.desktop.input-sources", TRUE)
             : nullptr;
  if (schema) {
    g_settings_schema_unref(schema);
    GSettings* settings = g_settings_new("org.gnome.desktop.input-sources");
    GVariant* sources = g_settings_get_value(settings, "sources");
    if (g_variant_n_children(sources) > 0) {
      const char *type = nullptr, *id = nullptr;
      g_variant_get_child(sources, 0, "(&s&s)", &type, &id);
      if (type && id && std::string_view(type) == "xkb") {
        std::string name = id;
        auto plus = name.find('+');
        layout = name.substr(0, plus);
        if (plus != std::string::npos) variant = name.substr(plus + 1);
      }
    }
    g_variant_unref(sources);
    g_object_unref(settings);
  }
  return layout::compile(layout, variant);
}

// One monitor's stream and where the monitor lies in the layout.
struct Stream {
  std::string path;
  int x = 0, y = 0, width = 0, height = 0;
};

} // namespace

struct MutterInput::State {
  std::mutex lock;
  GDBusConnection* bus = nullptr;
  std::string session; // the remote desktop session's object path
  std::vector<Stream> streams;
  Clock::time_point readyAt{};
  layout::Keys layout = gnomeLayout();
  std::vector<std::uint32_t> heldKeys;
  std::vector<int> heldButtons;
  std::uint64_t nextSource = 1;
  bool broken = false;

  // One call; the answer (to unref) or none. A failing call marks the session broken.
  GVariant* call(const char* name, const std::string& path, const char* iface, const char* method,
                 GVariant* args, const char* type = nullptr) {
    GError* error = nullptr;
    GVariant* r = g_dbus_connection_call_sync(
        bus, name, path.c_str(), iface, method, args, type ? G_VARIANT_TYPE(type) : nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, CALL_TIMEOUT_MS, nullptr, &error);
    if (error) {
      broken = true;
      g_error_free(error);
    }
    return r;
  }
  bool notify(const char* method, GVariant* args) {
    GVariant* r = call(RD_NAME, session, RD_SESSION, method, args);
    if (!r) return false;
    g_variant_unref(r);
    return true;
  }

  std::string objectPath(GVariant* r) {
    if (!r) return {};
    const char* path = nullptr;
    g_variant_get(r, "(&o)", &path);
    std::string out = path ? path : "";
    g_variant_unref(r);
    return out;
  }

  bool ready() const { return bus && !session.empty() && !broken; }

  void disconnect() {
    if (bus && !session.empty() && !broken)
      if (GVariant* r = call(RD_NAME, session, RD_SESSION, "Stop", nullptr)) g_variant_unref(r);
    if (bus) g_object_unref(bus);
    bus = nullptr;
    session.clear();
    streams.clear();
    heldKeys.clear();
    heldButtons.clear();
    broken = false;
  }

  // The monitors' connectors, from Mutter's display configuration.
  std::vector<std::string> connectors() {
    std::vector<std::string> out;
    GVariant* state = call("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                           "org.gnome.Mutter.DisplayConfig", "GetCurrentState", nullptr);
    if (!state) return out;
    GVariant* monitors = g_variant_get_child_value(state, 1);
    for (gsize i = 0; i < g_variant_n_children(monitors); ++i) {
      GVariant* monitor = g_variant_get_child_value(monitors, i);
      const char* connector = nullptr;
      g_variant_get_child(monitor, 0, "(&s&s&s&s)", &connector, nullptr, nullptr, nullptr);
      if (connector) out.push_back(connector);
      g_variant_unref(monitor);
    }
    g_variant_unref(monitors);
    g_variant_unref(state);
    return out;
  }

  // Where a stream's monitor lies, from the stream's own parameters.
  void place(Stream& s) {
    GVariant* r =
        call(SC_NAME, s.path, "org.freedesktop.DBus.Properties", "Get",
             g_variant_new("(ss)", "org.gnome.Mutter.ScreenCast.Stream", "Parameters"), "(v)");
    if (!r) return;
    GVariant* v = nullptr;
    g_variant_get(r, "(v)", &v);
    g_variant_lookup(v, "position", "(ii)", &s.x, &s.y);
    g_variant_lookup(v, "size", "(ii)", &s.width, &s.height);
    g_variant_unref(v);
    g_variant_unref(r);
  }

  // A running session, starting one after Mutter went away.
  bool usable() {
    if (ready()) return true;
    disconnect();
    if (currentSession() != SessionKind::gnome) return false;
    bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    session = objectPath(
        call(RD_NAME, "/org/gnome/Mutter/RemoteDesktop", RD_NAME, "CreateSession", nullptr, "(o)"));
    if (session.empty()) return fail();
    GVariant* id = call(RD_NAME, session, "org.freedesktop.DBus.Properties", "Get",
                        g_variant_new("(ss)", RD_SESSION, "SessionId"), "(v)");
    if (!id) return fail();
    GVariant* idValue = nullptr;
    g_variant_get(id, "(v)", &idValue);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "remote-desktop-session-id", idValue);
    g_variant_unref(id);
    std::string cast = objectPath(call(SC_NAME, "/org/gnome/Mutter/ScreenCast", SC_NAME,
                                       "CreateSession", g_variant_new("(a{sv})", &options), "(o)"));
    if (cast.empty()) return fail();
    auto names = connectors();
    if (names.empty()) names.push_back(""); // the primary monitor
    for (const auto& connector : names) {
      GVariantBuilder none;
      g_variant_builder_init(&none, G_VARIANT_TYPE("a{sv}"));
      std::string stream =
          objectPath(call(SC_NAME, cast, SC_SESSION, "RecordMonitor",
                          g_variant_new("(sa{sv})", connector.c_str(), &none), "(o)"));
      if (!stream.empty()) streams.push_back({stream});
    }
    broken = false; // a monitor that cannot be recorded is only left out
    if (streams.empty() || !notify("Start", nullptr)) return fail();
    for (auto& s : streams)
      place(s);
    readyAt = Clock::now() + SESSION_SETTLE;
    return ready();
  }
  bool fail() {
    broken = true;
    disconnect();
    return false;
  }

  void settle() {
    if (Clock::now() < readyAt) std::this_thread::sleep_until(readyAt);
  }

  void keysym(std::uint32_t sym, bool down) {
    notify("NotifyKeyboardKeysym", g_variant_new("(ub)", sym, down));
  }
  void keycode(std::uint32_t evdev, bool down) {
    notify("NotifyKeyboardKeycode", g_variant_new("(ub)", evdev, down));
  }
  void tapSym(std::uint32_t sym) {
    keysym(sym, true);
    keysym(sym, false);
  }
  bool inLayout(std::uint32_t sym) const { return layout.has(sym); }

  // A key by the keysym it carries on a US layout where the user's layout has that keysym (so
  // "cmd+z" is Control+z everywhere), else by its place.
  void key(const keys::AnsiKey& k, bool down) {
    if (inLayout(k.keysym))
      keysym(k.keysym, down);
    else
      keycode(k.evdev - EVDEV_OFFSET, down);
  }

  void releaseHeld() {
    for (auto it = heldKeys.rbegin(); it != heldKeys.rend(); ++it)
      keysym(*it, false);
    for (int b : heldButtons)
      notify("NotifyPointerButton", g_variant_new("(ib)", b, FALSE));
    heldKeys.clear();
    heldButtons.clear();
  }

  void pressChord(const keys::AnsiKey& ansi, std::uint64_t flags) {
    for (const auto& m : keys::MODIFIER_KEYS)
      if (flags & m.flags) {
        keysym(m.keysym, true);
        heldKeys.push_back(m.keysym);
      }
    if (inLayout(ansi.keysym)) {
      keysym(ansi.keysym, true);
      heldKeys.push_back(ansi.keysym);
    } else {
      // Held by place; released at once, as a keysym cannot release it.
      keycode(ansi.evdev - EVDEV_OFFSET, true);
      keycode(ansi.evdev - EVDEV_OFFSET, false);
    }
  }

  std::optional<int> focusedPid() {
    for (const auto& w : gnome::windows().value_or(std::vector<gnome::Window>{}))
      if (w.focused) return w.pid;
    return std::nullopt;
  }

  // GTK's Unicode entry: Ctrl+Shift+U, the code point in hex, then space to end it.
  void typeByCode(char32_t cp) {
    keysym(XK_Control_L, true);
    keysym(XK_Shift_L, true);
    tapSym(XK_u);
    keysym(XK_Shift_L, false);
    keysym(XK_Control_L, false);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(cp));
    for (const char* c = hex; *c; ++c)
      tapSym(static_cast<std::uint32_t>(static_cast<unsigned char>(*c)));
    tapSym(XK_space);
  }

  void typeText(std::u16string_view text) {
    for (char32_t cp : input::codePoints(text)) {
      std::uint32_t sym = layout::symOf(cp);
      if (sym == 0) continue;
      if (inLayout(sym))
        tapSym(sym);
      else
        typeByCode(cp);
    }
  }

  void moveTo(Point p) {
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
    notify("NotifyPointerMotionAbsolute", g_variant_new("(sdd)", best->path.c_str(), x, y));
  }

  void turn(std::int32_t lines, std::uint32_t axis) {
    // The logic's positive vertical turn scrolls up (its horizontal one left); Mutter's steps go
    // down and right.
    if (lines != 0) notify("NotifyPointerAxisDiscrete", g_variant_new("(ui)", axis, -lines));
  }
};

MutterInput::MutterInput() : state_(std::make_unique<State>()) {
  std::lock_guard guard(state_->lock);
  state_->usable();
}

MutterInput::~MutterInput() {
  std::lock_guard guard(state_->lock);
  if (state_->ready()) state_->releaseHeld();
  state_->disconnect();
}

bool MutterInput::available() {
  std::lock_guard guard(state_->lock);
  return state_->usable();
}

void MutterInput::finish() {
  std::lock_guard guard(state_->lock);
  if (state_->ready()) state_->releaseHeld();
}

bool MutterInput::screenCaptureAllowed() {
  return available();
}

bool MutterInput::requestScreenCapture() {
  return available();
}

bool MutterInput::canType(std::u16string_view text) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return s.usable() && layout::typeable(text, s.layout, [&] { return s.focusedPid(); });
}

std::optional<EventSource> MutterInput::createSource() {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  if (!s.usable()) return std::nullopt;
  s.releaseHeld();
  return EventSource{s.nextSource++};
}

std::optional<KeyEvent> MutterInput::createKeyEvent(const std::optional<EventSource>& source,
                                                    std::uint16_t keyCode, bool down) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::keyEvent(s.usable(), source, keyCode, down);
}

std::optional<MouseEvent> MutterInput::createMouseEvent(const std::optional<EventSource>& source,
                                                        MouseEventType type, Point point,
                                                        MouseButton button) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::mouseEvent(s.usable(), source, type, point, button);
}

std::optional<ScrollEvent> MutterInput::createScrollEvent(const std::optional<EventSource>& source,
                                                          std::int32_t vertical,
                                                          std::int32_t horizontal) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::scrollEvent(s.usable(), source, vertical, horizontal);
}

void MutterInput::post(const InputEvent& event) {
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
    int button = mouse->button == MouseButton::right ? BTN_RIGHT : BTN_LEFT;
    s.moveTo(mouse->point);
    if (mouse->type == MouseEventType::leftDown || mouse->type == MouseEventType::rightDown) {
      s.notify("NotifyPointerButton", g_variant_new("(ib)", button, TRUE));
      s.heldButtons.push_back(button);
    }
  } else if (const auto* scroll = std::get_if<ScrollEvent>(&event)) {
    if (scroll->location) s.moveTo(*scroll->location);
    s.turn(scroll->vertical, AXIS_VERTICAL);
    s.turn(scroll->horizontal, AXIS_HORIZONTAL);
  }
}

} // namespace plenk
