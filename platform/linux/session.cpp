#include "platform/linux/session.hpp"

#include "platform/linux/sway_ipc.hpp"

#include <cstdlib>
#include <gio/gio.h>

namespace plenk {

namespace {

// i3-ipc's GET_VERSION: the cheapest question sway answers.
constexpr unsigned GET_VERSION = 7;

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Whether a name has an owner on the session bus.
bool onTheBus(const char* name) {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus) return false;
  GVariant* r = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                            "org.freedesktop.DBus", "NameHasOwner",
                                            g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"),
                                            G_DBUS_CALL_FLAGS_NONE, 500, nullptr, nullptr);
  g_object_unref(bus);
  if (!r) return false;
  gboolean owned = FALSE;
  g_variant_get(r, "(b)", &owned);
  g_variant_unref(r);
  return owned;
}

} // namespace

SessionKind sessionKind(const SessionNames& names, bool swayAnswers, bool gnomeShell, bool kwin) {
  // A Wayland session sets DISPLAY too (XWayland): the compositor comes first. A SWAYSOCK left in
  // the environment of an X11 session names nothing that answers.
  if (!names.swaySocket.empty() && swayAnswers) return SessionKind::sway;
  if (!names.wayland.empty())
    return gnomeShell ? SessionKind::gnome : kwin ? SessionKind::kde : SessionKind::wayland;
  if (!names.x11.empty()) return SessionKind::x11;
  return SessionKind::none;
}

SessionKind currentSession() {
  static const SessionKind kind = [] {
    SessionNames names{env("WAYLAND_DISPLAY"), env("SWAYSOCK"), env("DISPLAY")};
    bool answers =
        !names.swaySocket.empty() && sway::request(names.swaySocket, GET_VERSION, "").has_value();
    bool gnome = !answers && !names.wayland.empty() && onTheBus("org.gnome.Shell");
    bool kwin = !answers && !gnome && !names.wayland.empty() && onTheBus("org.kde.KWin");
    return sessionKind(names, answers, gnome, kwin);
  }();
  return kind;
}

const char* sessionName(SessionKind kind) {
  switch (kind) {
  case SessionKind::x11:
    return "x11";
  case SessionKind::sway:
    return "sway";
  case SessionKind::gnome:
    return "gnome";
  case SessionKind::kde:
    return "kde";
  case SessionKind::wayland:
    return "wayland";
  case SessionKind::none:
    break;
  }
  return "none";
}

} // namespace plenk
