#include "platform/linux/session.hpp"

#include "platform/linux/sway_ipc.hpp"

#include <cstdlib>

namespace plenk {

namespace {

// i3-ipc's GET_VERSION: the cheapest question sway answers.
constexpr unsigned GET_VERSION = 7;

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

} // namespace

SessionKind sessionKind(const SessionNames& names, bool swayAnswers) {
  // A Wayland session sets DISPLAY too (XWayland): the compositor comes first. A SWAYSOCK left in
  // the environment of an X11 session names nothing that answers.
  if (!names.swaySocket.empty() && swayAnswers) return SessionKind::sway;
  if (!names.wayland.empty()) return SessionKind::wayland;
  if (!names.x11.empty()) return SessionKind::x11;
  return SessionKind::none;
}

SessionKind currentSession() {
  static const SessionKind kind = [] {
    SessionNames names{env("WAYLAND_DISPLAY"), env("SWAYSOCK"), env("DISPLAY")};
    bool answers =
        !names.swaySocket.empty() && sway::request(names.swaySocket, GET_VERSION, "").has_value();
    return sessionKind(names, answers);
  }();
  return kind;
}

const char* sessionName(SessionKind kind) {
  switch (kind) {
  case SessionKind::x11:
    return "x11";
  case SessionKind::sway:
    return "sway";
  case SessionKind::wayland:
    return "wayland";
  case SessionKind::none:
    break;
  }
  return "none";
}

} // namespace plenk
