#include "platform/linux/mutter_input.hpp"

#include "platform/linux/ansi_keys.hpp"
#include "platform/linux/gnome_shell.hpp"
#include "platform/linux/input_common.hpp"
#include "platform/linux/layout_keys.hpp"
#include "platform/linux/remote_desktop.hpp"
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

} // namespace

struct MutterInput::State {
  std::mutex lock;
  GDBusConnection* bus = nullptr;
  std::string session; // the remote desktop session's object path
  Clock::time_point readyAt{};
  remote::Events events{.notify = notifications(), .layout = gnomeLayout()};
  std::uint64_t nextSource = 1;
  bool broken = false;

  remote::Notify notifications() {
    return {
        .keysym =
            [this](std::uint32_t sym, bool down) {
              notify("NotifyKeyboardKeysym", g_variant_new("(ub)", sym, down));
            },
        .keycode =
            [this](std::uint32_t code, bool down) {
              notify("NotifyKeyboardKeycode", g_variant_new("(ub)", code, down));
            },
        .button =
            [this](int b, bool down) {
              notify("NotifyPointerButton", g_variant_new("(ib)", b, down));
            },
        .motion =
            [this](const remote::Stream& s, double x, double y) {
              notify("NotifyPointerMotionAbsolute", g_variant_new("(sdd)", s.path.c_str(), x, y));
            },
        .axis =
            [this](std::uint32_t axis, std::int32_t steps) {
              notify("NotifyPointerAxisDiscrete", g_variant_new("(ui)", axis, steps));
            },
    };
  }

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
    events.streams.clear();
    events.heldKeys.clear();
    events.heldButtons.clear();
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
  void place(remote::Stream& s) {
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
      if (!stream.empty()) events.streams.push_back({.path = stream});
    }
    broken = false; // a monitor that cannot be recorded is only left out
    if (events.streams.empty() || !notify("Start", nullptr)) return fail();
    for (auto& s : events.streams)
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

  std::optional<int> focusedPid() {
    for (const auto& w : gnome::windows().value_or(std::vector<gnome::Window>{}))
      if (w.focused) return w.pid;
    return std::nullopt;
  }
};

MutterInput::MutterInput() : state_(std::make_unique<State>()) {
  std::lock_guard guard(state_->lock);
  state_->usable();
}

MutterInput::~MutterInput() {
  std::lock_guard guard(state_->lock);
  if (state_->ready()) state_->events.releaseHeld();
  state_->disconnect();
}

bool MutterInput::available() {
  std::lock_guard guard(state_->lock);
  return state_->usable();
}

void MutterInput::finish() {
  std::lock_guard guard(state_->lock);
  if (state_->ready()) state_->events.releaseHeld();
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
  return s.usable() && layout::typeable(text, s.events.layout, [&] { return s.focusedPid(); });
}

std::optional<EventSource> MutterInput::createSource() {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  if (!s.usable()) return std::nullopt;
  s.events.releaseHeld();
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
  s.events.post(event);
}

} // namespace plenk
