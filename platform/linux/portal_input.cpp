#include "platform/linux/portal_input.hpp"

#include "platform/linux/input_common.hpp"
#include "platform/linux/layout_keys.hpp"
#include "platform/linux/remote_desktop.hpp"

#include <chrono>
#include <gio/gio.h>
#include <mutex>
#include <string>
#include <thread>

namespace plenk {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* PORTAL = "org.freedesktop.portal.Desktop";
constexpr const char* PORTAL_PATH = "/org/freedesktop/portal/desktop";
constexpr const char* RD = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* SC = "org.freedesktop.portal.ScreenCast";
constexpr int CALL_TIMEOUT_MS = 2000;
constexpr std::uint32_t DEVICE_KEYBOARD = 1, DEVICE_POINTER = 2, SOURCE_MONITOR = 1;
// As Mutter's, the portal's devices lose what they get the moment they appear.
constexpr auto SESSION_SETTLE = std::chrono::milliseconds(200);
// How long the portal may take for the steps before its dialog.
constexpr auto ASK_WITHIN = std::chrono::seconds(2);

// Where the session stands: each step is a portal call answered by its Request's Response.
enum class Step { none, creating, devices, sources, starting, running, refused };

GVariant* noOptions() {
  return g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0);
}

} // namespace

struct PortalInput::State {
  std::mutex lock;
  GMainContext* context = g_main_context_new(); // where the portal's answers are taken
  GDBusConnection* bus = nullptr;
  std::string session;
  Step step = Step::none;
  guint subscription = 0;
  unsigned tokens = 0;
  Clock::time_point readyAt{};
  remote::Events events{.notify = notifications(), .layout = layout::compile("us")};
  std::uint64_t nextSource = 1;

  remote::Notify notifications() {
    return {
        .keysym = [this](std::uint32_t sym, bool down) { key("NotifyKeyboardKeysym", sym, down); },
        .keycode = [this](std::uint32_t code,
                          bool down) { key("NotifyKeyboardKeycode", code, down); },
        .button = [this](int b, bool down) { key("NotifyPointerButton", b, down); },
        .motion =
            [this](const remote::Stream& s, double x, double y) {
              send("NotifyPointerMotionAbsolute",
                   g_variant_new("(o@a{sv}udd)", session.c_str(), noOptions(), s.node, x, y));
            },
        .axis =
            [this](std::uint32_t axis, std::int32_t steps) {
              send("NotifyPointerAxisDiscrete",
                   g_variant_new("(o@a{sv}ui)", session.c_str(), noOptions(), axis, steps));
            },
    };
  }

  // A key or button (its code) going down or up.
  void key(const char* method, std::uint32_t code, bool down) {
    send(method, g_variant_new("(o@a{sv}iu)", session.c_str(), noOptions(),
                               static_cast<gint32>(code), static_cast<guint32>(down)));
  }

  void send(const char* method, GVariant* args) {
    if (GVariant* r = call(RD, method, args)) g_variant_unref(r);
  }

  ~State() {
    close();
    if (bus) g_object_unref(bus);
    g_main_context_unref(context);
  }

  bool connect() {
    if (!bus) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    return bus != nullptr;
  }

  // One call to the portal; its answer (to unref) or none.
  GVariant* call(const char* iface, const char* method, GVariant* args,
                 const std::string& path = PORTAL_PATH) {
    if (!connect()) {
      if (args) g_variant_unref(g_variant_ref_sink(args));
      return nullptr;
    }
    return g_dbus_connection_call_sync(bus, PORTAL, path.c_str(), iface, method, args, nullptr,
                                       G_DBUS_CALL_FLAGS_NONE, CALL_TIMEOUT_MS, nullptr, nullptr);
  }

  // Takes the answers that have come.
  void pump() {
    while (g_main_context_iteration(context, FALSE)) {
    }
  }

  void unsubscribe() {
    if (bus && subscription) g_dbus_connection_signal_unsubscribe(bus, subscription);
    subscription = 0;
  }

  // Calls a method that answers through a Request object: its Response is waited for on the
  // path the portal's rule names (our unique name and a token of ours), subscribed to first.
  bool ask(const char* iface, const char* method, const std::string& token, GVariant* args,
           Step next) {
    if (!connect()) {
      g_variant_unref(g_variant_ref_sink(args));
      return false;
    }
    std::string sender = g_dbus_connection_get_unique_name(bus) + 1;
    for (char& c : sender)
      if (c == '.') c = '_';
    std::string path = std::string(PORTAL_PATH) + "/request/" + sender + "/" + token;
    unsubscribe();
    g_main_context_push_thread_default(context);
    subscription = g_dbus_connection_signal_subscribe(
        bus, PORTAL, "org.freedesktop.portal.Request", "Response", path.c_str(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, &State::answered, this, nullptr);
    g_main_context_pop_thread_default(context);
    step = next;
    GVariant* r = call(iface, method, args);
    if (!r) {
      close();
      step = Step::refused;
      return false;
    }
    g_variant_unref(r);
    return true;
  }

  std::string token() { return "plenk" + std::to_string(++tokens); }

  GVariant* options(const std::string& token,
                    std::initializer_list<std::pair<const char*, GVariant*>> more) {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&b, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    for (auto [key, value] : more)
      g_variant_builder_add(&b, "{sv}", key, value);
    return g_variant_builder_end(&b);
  }

  void begin() {
    std::string t = token();
    ask(RD, "CreateSession", t,
        g_variant_new("(@a{sv})",
                      options(t, {{"session_handle_token", g_variant_new_string("plenk")}})),
        Step::creating);
  }

  static void answered(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                       GVariant* parameters, gpointer data) {
    static_cast<State*>(data)->onResponse(parameters);
  }

  void onResponse(GVariant* parameters) {
    unsubscribe();
    guint32 code = 2;
    GVariant* results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &code, &results);
    if (code != 0) {
      if (results) g_variant_unref(results);
      close();
      step = Step::refused;
      return;
    }
    const gchar* handle = nullptr;
    std::string t = token();
    switch (step) {
    case Step::creating:
      if (g_variant_lookup(results, "session_handle", "&s", &handle)) session = handle;
      ask(RD, "SelectDevices", t,
          g_variant_new(
              "(o@a{sv})", session.c_str(),
              options(t, {{"types", g_variant_new_uint32(DEVICE_KEYBOARD | DEVICE_POINTER)}})),
          Step::devices);
      break;
    case Step::devices:
      ask(SC, "SelectSources", t,
          g_variant_new("(o@a{sv})", session.c_str(),
                        options(t, {{"types", g_variant_new_uint32(SOURCE_MONITOR)},
                                    {"multiple", g_variant_new_boolean(TRUE)}})),
          Step::sources);
      break;
    case Step::sources:
      // The dialog: the answer comes when the user has given it.
      ask(RD, "Start", t, g_variant_new("(os@a{sv})", session.c_str(), "", options(t, {})),
          Step::starting);
      break;
    case Step::starting:
      takeStreams(results);
      step = events.streams.empty() ? Step::refused : Step::running;
      readyAt = Clock::now() + SESSION_SETTLE;
      break;
    default:
      break;
    }
    g_variant_unref(results);
  }

  void takeStreams(GVariant* results) {
    events.streams.clear();
    GVariant* streams = g_variant_lookup_value(results, "streams", G_VARIANT_TYPE("a(ua{sv})"));
    if (!streams) return;
    GVariantIter it;
    g_variant_iter_init(&it, streams);
    guint32 node = 0;
    GVariant* props = nullptr;
    while (g_variant_iter_next(&it, "(u@a{sv})", &node, &props)) {
      remote::Stream s{.node = node};
      g_variant_lookup(props, "position", "(ii)", &s.x, &s.y);
      g_variant_lookup(props, "size", "(ii)", &s.width, &s.height);
      if (s.width > 0 && s.height > 0) events.streams.push_back(s);
      g_variant_unref(props);
    }
    g_variant_unref(streams);
  }

  void close() {
    unsubscribe();
    if (!session.empty())
      if (GVariant* r = call("org.freedesktop.portal.Session", "Close", nullptr, session))
        g_variant_unref(r);
    session.clear();
    events.streams.clear();
    events.heldKeys.clear();
    events.heldButtons.clear();
  }

  bool running() {
    pump();
    return step == Step::running;
  }
};

PortalInput::PortalInput() : state_(std::make_unique<State>()) {}

PortalInput::~PortalInput() {
  std::lock_guard guard(state_->lock);
  if (state_->step == Step::running) state_->events.releaseHeld();
}

bool PortalInput::offered() {
  std::lock_guard guard(state_->lock);
  GVariant* r = state_->call("org.freedesktop.DBus.Properties", "Get",
                             g_variant_new("(ss)", RD, "AvailableDeviceTypes"));
  if (!r) return false;
  GVariant* v = nullptr;
  g_variant_get(r, "(v)", &v);
  guint32 types = g_variant_is_of_type(v, G_VARIANT_TYPE_UINT32) ? g_variant_get_uint32(v) : 0;
  g_variant_unref(v);
  g_variant_unref(r);
  return (types & (DEVICE_KEYBOARD | DEVICE_POINTER)) == (DEVICE_KEYBOARD | DEVICE_POINTER);
}

void PortalInput::finish() {
  std::lock_guard guard(state_->lock);
  if (state_->running()) state_->events.releaseHeld();
}

bool PortalInput::screenCaptureAllowed() {
  std::lock_guard guard(state_->lock);
  return state_->running();
}

bool PortalInput::requestScreenCapture() {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  s.pump();
  if (s.step == Step::none || s.step == Step::refused) s.begin();
  // The steps before the dialog need nobody: once they are through, the dialog shows as this
  // answers, and the user's answer is taken later.
  for (auto until = Clock::now() + ASK_WITHIN; Clock::now() < until;) {
    s.pump();
    if (s.step == Step::starting || s.step == Step::running || s.step == Step::refused) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return s.step == Step::running;
}

bool PortalInput::canType(std::u16string_view text) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return s.running() && layout::typeable(text, s.events.layout, [] { return std::nullopt; });
}

std::optional<EventSource> PortalInput::createSource() {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  if (!s.running()) return std::nullopt;
  s.events.releaseHeld();
  return EventSource{s.nextSource++};
}

std::optional<KeyEvent> PortalInput::createKeyEvent(const std::optional<EventSource>& source,
                                                    std::uint16_t keyCode, bool down) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::keyEvent(s.running(), source, keyCode, down);
}

std::optional<MouseEvent> PortalInput::createMouseEvent(const std::optional<EventSource>& source,
                                                        MouseEventType type, Point point,
                                                        MouseButton button) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::mouseEvent(s.running(), source, type, point, button);
}

std::optional<ScrollEvent> PortalInput::createScrollEvent(const std::optional<EventSource>& source,
                                                          std::int32_t vertical,
                                                          std::int32_t horizontal) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  return input::scrollEvent(s.running(), source, vertical, horizontal);
}

void PortalInput::post(const InputEvent& event) {
  auto& s = *state_;
  std::lock_guard guard(s.lock);
  if (!s.running()) return;
  if (Clock::now() < s.readyAt) std::this_thread::sleep_until(s.readyAt);
  s.events.post(event);
}

} // namespace plenk
