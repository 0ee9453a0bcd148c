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

// Whether GNOME Shell owns its name on the session bus.
bool gnomeShellOnTheBus() {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus) return false;
  GVariant* r = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
      g_variant_new("(s)", "org.gnome.Shell"), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 500,
      nullptr, nullptr);
  g_object_unref(bus);
  if (!r) return false;
  gboolean owned = FALSE;
  g_variant_get(r, "(b)", &owned);
  g_variant_unref(r);
  return owned;
}

} // namespace

SessionKind sessionKind(const SessionNames& names, bool swayAnswers, bool gnomeShell) {
  // A Wayland session sets DISPLAY too (XWayland): the compositor comes first. A SWAYSOCK left in
  // the environment of an X11 session names nothing that answers.
  if (!names.swaySocket.empty() && swayAnswers) return SessionKind::sway;
  if (!names.wayland.empty()) return gnomeShell ? SessionKind::gnome : SessionKind::wayland;
  if (!names.x11.empty()) return SessionKind::x11;
  return SessionKind::none;
}

SessionKind currentSession() {
  static const SessionKind kind = [] {
    SessionNames names{env("WAYLAND_DISPLAY"), env("SWAYSOCK"), env("DISPLAY")};
    bool answers =
        !names.swaySocket.empty() && sway::request(names.swaySocket, GET_VERSION, "").has_value();
    bool gnome = !answers && !names.wayland.empty() && gnomeShellOnTheBus();
    return sessionKind(names, answers, gnome);
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
  case SessionKind::wayland:
    return "wayland";
  case SessionKind::none:
    break;
  }
  return "none";
}

} // namespace plenk
