#include "platform/linux/atspi_bus.hpp"

#include <algorithm>
#include <poll.h>
#include <unordered_map>

namespace plenk::atspi {

namespace {

constexpr int PING_TIMEOUT_MS = 300;
// Enough calls in flight to keep an application busy, few enough that the last of them does not
// wait out its timeout behind the others.
constexpr std::size_t IN_FLIGHT = 48;

GDBusConnection* connect(const std::string& address) {
  GError* error = nullptr;
  GDBusConnection* c = g_dbus_connection_new_for_address_sync(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (error) g_error_free(error);
  if (c) g_dbus_connection_set_exit_on_close(c, FALSE);
  return c;
}

void drop(GDBusConnection*& c) {
  if (c && g_dbus_connection_is_closed(c)) {
    g_object_unref(c);
    c = nullptr;
  }
}

void close(DBusConnection*& c) {
  if (!c) return;
  dbus_connection_close(c);
  dbus_connection_unref(c);
  c = nullptr;
}

void drop(DBusConnection*& c) {
  if (c && !dbus_connection_get_is_connected(c)) close(c);
}

// A connection of libdbus to `address`, not shared with anyone else in the process.
DBusConnection* open(const std::string& address, bool bus) {
  DBusError error;
  dbus_error_init(&error);
  DBusConnection* c = dbus_connection_open_private(address.c_str(), &error);
  if (c) {
    dbus_connection_set_exit_on_disconnect(c, FALSE);
    if (bus && !dbus_bus_register(c, &error)) close(c);
  }
  dbus_error_free(&error);
  return c;
}

} // namespace

AxStatus statusOf(const GError* e) {
  if (!e) return AxStatus::ok;
  if (g_error_matches(e, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) return AxStatus::cannotComplete;
  if (e->domain == G_DBUS_ERROR) {
    switch (e->code) {
    case G_DBUS_ERROR_UNKNOWN_METHOD:
    case G_DBUS_ERROR_UNKNOWN_INTERFACE:
    case G_DBUS_ERROR_UNKNOWN_PROPERTY:
    case G_DBUS_ERROR_INVALID_ARGS:
    case G_DBUS_ERROR_NOT_SUPPORTED:
      return AxStatus::attributeUnsupported;
    case G_DBUS_ERROR_UNKNOWN_OBJECT:
    case G_DBUS_ERROR_SERVICE_UNKNOWN:
    case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
      return AxStatus::invalidElement;
    case G_DBUS_ERROR_NO_REPLY:
    case G_DBUS_ERROR_TIMEOUT:
    case G_DBUS_ERROR_TIMED_OUT:
      return AxStatus::cannotComplete;
    default:
      return AxStatus::failure;
    }
  }
  return AxStatus::failure;
}

bool Transport::sessionBus() {
  drop(session);
  if (session) return true;
  // The session bus the desktop announces to every program (its address in the environment).
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (error) g_error_free(error);
  if (!address) return false;
  session = connect(address);
  g_free(address);
  return session != nullptr;
}

GVariant* Transport::sessionCall(const char* iface, const char* method, GVariant* params) {
  if (!sessionBus()) {
    if (params) g_variant_unref(g_variant_ref_sink(params));
    return nullptr;
  }
  GError* error = nullptr;
  GVariant* r = g_dbus_connection_call_sync(session, "org.a11y.Bus", "/org/a11y/bus", iface, method,
                                            params, nullptr, G_DBUS_CALL_FLAGS_NONE,
                                            DEFAULT_TIMEOUT_MS, nullptr, &error);
  if (error) g_error_free(error);
  return r;
}

std::optional<bool> Transport::statusEnabled() {
  GVariant* r =
      sessionCall(I_PROPERTIES, "Get", g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"));
  if (!r) return std::nullopt;
  GVariant* inner = nullptr;
  g_variant_get(r, "(v)", &inner);
  std::optional<bool> on;
  if (inner && g_variant_is_of_type(inner, G_VARIANT_TYPE_BOOLEAN))
    on = g_variant_get_boolean(inner);
  if (inner) g_variant_unref(inner);
  g_variant_unref(r);
  return on;
}

bool Transport::a11yBus() {
  drop(a11y);
  drop(calls);
  if (a11y && calls) return true;
  GVariant* r = sessionCall("org.a11y.Bus", "GetAddress", nullptr);
  if (!r) return false;
  const gchar* address = nullptr;
  g_variant_get(r, "(&s)", &address);
  if (address && *address) {
    if (!a11y) a11y = connect(address);
    if (!calls) calls = open(address, true);
  }
  g_variant_unref(r);
  return a11y && calls;
}

bool Transport::trusted() {
  return statusEnabled() == true && a11yBus();
}

BusFacts& Transport::facts(const std::string& bus) {
  BusFacts& f = buses[bus];
  if (f.gen != gen) {
    f.gen = gen;
    f.unresponsive = false;
  }
  return f;
}

// A call on its way: what it answers, on which connection, and until when it is waited for.
struct Transport::Slot {
  Call* call;
  DBusConnection* connection;
  std::int64_t deadline; // monotonic microseconds
  bool direct;
};

// The message of a call, made by GDBus and carried by libdbus: both keep to the protocol, so
// the call's arguments stay a GVariant.
DBusMessage* Transport::message(const Call& c, bool direct) {
  GDBusMessage* m = g_dbus_message_new_method_call(direct ? nullptr : c.bus.c_str(), c.path.c_str(),
                                                   c.iface, c.method);
  if (c.params) g_dbus_message_set_body(m, c.params);
  g_dbus_message_set_flags(m, G_DBUS_MESSAGE_FLAGS_NO_AUTO_START);
  if (++serial == 0) ++serial;
  g_dbus_message_set_serial(m, serial);
  gsize size = 0;
  guchar* blob = g_dbus_message_to_blob(m, &size, G_DBUS_CAPABILITY_FLAGS_NONE, nullptr);
  g_object_unref(m);
  DBusMessage* out =
      blob ? dbus_message_demarshal(reinterpret_cast<const char*>(blob), int(size), nullptr)
           : nullptr;
  g_free(blob);
  return out;
}

// Hands an answer to its call: the reply's body, or the failure it names.
void Transport::answer(Slot& slot, DBusMessage* reply) {
  char* blob = nullptr;
  int size = 0;
  GDBusMessage* m = nullptr;
  if (dbus_message_marshal(reply, &blob, &size)) {
    m = g_dbus_message_new_from_blob(reinterpret_cast<guchar*>(blob), gsize(size),
                                     G_DBUS_CAPABILITY_FLAGS_NONE, nullptr);
    dbus_free(blob);
  }
  GError* error = nullptr;
  GVariant* body = nullptr;
  if (!m) {
    error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_INVALID_DATA, "unreadable answer");
  } else if (!g_dbus_message_to_gerror(m, &error)) {
    body = g_dbus_message_get_body(m);
    body = body ? g_variant_ref(body) : g_variant_ref_sink(g_variant_new("()"));
  }
  if (m) g_object_unref(m);
  finish(slot, body, body ? AxStatus::ok : statusOf(error));
  if (error) g_error_free(error);
  if (body) g_variant_unref(body);
}

void Transport::finish(Slot& slot, GVariant* reply, AxStatus status) {
  BusFacts& f = facts(slot.call->bus);
  std::int64_t now = g_get_monotonic_time();
  // Timed out with nothing else answered meanwhile: the application does not answer at all,
  // and the rest of this request does not wait for it again.
  if (status == AxStatus::cannotComplete && now - f.lastReplyAt >= std::int64_t{f.timeoutMs} * 1000)
    f.suspect = true;
  if (reply) f.lastReplyAt = now;
  slot.call->done(reply, reply ? AxStatus::ok : status);
}

// Sends the calls, up to IN_FLIGHT at a time, and waits for every answer. A call to an
// application that timed out earlier in this request fails at once. Nothing here blocks: a
// stopped application's socket is written as far as it takes, and each call gives up at its
// own deadline.
void Transport::run(std::vector<Call>& list) {
  if (list.empty()) return;
  if (!a11yBus()) {
    for (auto& c : list) {
      if (c.params) g_variant_unref(g_variant_ref_sink(c.params));
      c.done(nullptr, AxStatus::failure);
    }
    return;
  }
  connectDirect(list);
  ++counters.batches;
  std::unordered_map<dbus_uint32_t, Slot> waiting;
  std::size_t next = 0;
  std::vector<DBusConnection*> active;
  std::vector<pollfd> fds;
  while (next < list.size() || !waiting.empty()) {
    while (next < list.size() && waiting.size() < IN_FLIGHT) {
      Call& c = list[next++];
      BusFacts& f = facts(c.bus);
      if (f.unresponsive || c.bus.empty()) {
        if (c.params) g_variant_unref(g_variant_ref_sink(c.params));
        c.done(nullptr, c.bus.empty() ? AxStatus::invalidElement : AxStatus::cannotComplete);
        continue;
      }
      ++counters.calls;
      ++counters.byMethod[c.method];
      // On its own socket there is no bus to route by name. A socket that closed meanwhile is
      // let go between requests, not here, where calls on it may still be waiting.
      bool direct = f.direct && dbus_connection_get_is_connected(f.direct);
      DBusConnection* connection = direct ? f.direct : calls;
      DBusMessage* m = message(c, direct);
      c.params = nullptr; // the message took it
      Slot slot{&c, connection, g_get_monotonic_time() + std::int64_t{f.timeoutMs} * 1000, direct};
      if (!m || !dbus_connection_send(connection, m, nullptr)) {
        if (m) dbus_message_unref(m);
        finish(slot, nullptr, AxStatus::failure);
        continue;
      }
      waiting.emplace(dbus_message_get_serial(m), slot);
      dbus_message_unref(m);
      if (std::find(active.begin(), active.end(), connection) == active.end())
        active.push_back(connection);
    }
    // Writes and reads what the sockets take without waiting, then hands out the answers.
    bool moved = false;
    for (DBusConnection* connection : active) {
      dbus_connection_read_write(connection, 0);
      while (DBusMessage* m = dbus_connection_pop_message(connection)) {
        int type = dbus_message_get_type(m);
        auto found = waiting.find(dbus_message_get_reply_serial(m));
        if ((type == DBUS_MESSAGE_TYPE_METHOD_RETURN || type == DBUS_MESSAGE_TYPE_ERROR) &&
            found != waiting.end() && found->second.connection == connection) {
          Slot slot = found->second;
          waiting.erase(found);
          answer(slot, m);
          moved = true;
        }
        dbus_message_unref(m);
      }
    }
    std::int64_t now = g_get_monotonic_time();
    std::int64_t until = now + std::int64_t{DEFAULT_TIMEOUT_MS} * 1000;
    for (auto it = waiting.begin(); it != waiting.end();) {
      Slot& slot = it->second;
      bool closed = !dbus_connection_get_is_connected(slot.connection);
      if (closed || now >= slot.deadline) {
        Slot done = slot;
        it = waiting.erase(it);
        // The application's own socket closed: the application is gone.
        finish(done, nullptr,
               !closed       ? AxStatus::cannotComplete
               : done.direct ? AxStatus::invalidElement
                             : AxStatus::failure);
        moved = true;
        continue;
      }
      until = std::min(until, slot.deadline);
      ++it;
    }
    if (moved || waiting.empty()) continue;
    fds.clear();
    bool handshake = false;
    for (DBusConnection* connection : active) {
      int fd = -1;
      if (!dbus_connection_get_unix_fd(connection, &fd)) continue;
      // A new socket says who we are first (a stopped application accepts the connection but
      // never answers): the exchange is written as it goes, so it is looked at every few ms.
      bool ready = dbus_connection_get_is_authenticated(connection);
      handshake = handshake || !ready;
      short events = POLLIN;
      if (ready && dbus_connection_has_messages_to_send(connection)) events |= POLLOUT;
      fds.push_back({fd, events, 0});
    }
    std::int64_t waitMs = std::max<std::int64_t>(0, (until - now + 999) / 1000);
    ::poll(fds.data(), fds.size(), int(handshake ? std::min<std::int64_t>(waitMs, 2) : waitMs));
  }
  // One slow answer (a list of thousands of children on a busy machine) is no reason to give
  // up on an application; one that does not even answer a ping is not answering at all.
  for (auto& c : list) {
    BusFacts& f = facts(c.bus);
    if (!f.suspect) continue;
    f.suspect = false;
    GError* error = nullptr;
    GVariant* r = g_dbus_connection_call_sync(
        a11y, c.bus.c_str(), "/", "org.freedesktop.DBus.Peer", "Ping", nullptr, nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, PING_TIMEOUT_MS, nullptr, &error);
    if (r) g_variant_unref(r);
    if (error) {
      if (statusOf(error) == AxStatus::cannotComplete) f.unresponsive = true;
      g_error_free(error);
    }
  }
}

// The AT-SPI bridge of GTK 3 and Chromium serves accessibility on a socket of its own as well
// as through the bus: asked there, a call takes two hops instead of four and the bus daemon
// does no work for it. Asked once per application, before its first call.
void Transport::connectDirect(const std::vector<Call>& list) {
  std::vector<Call> asks;
  std::map<std::string, std::string> addresses;
  std::vector<std::string> retry;
  for (const auto& c : list) {
    if (c.bus.empty() || c.bus == REGISTRY) continue;
    BusFacts& f = facts(c.bus);
    if (f.directTried || f.unresponsive) continue;
    f.directTried = true;
    asks.push_back({c.bus, ROOT_PATH, I_APPLICATION, "GetApplicationBusAddress", nullptr,
                    [&addresses, &retry, bus = c.bus](GVariant* r, AxStatus s) {
                      // A stopped application is asked again at a later request.
                      if (s == AxStatus::cannotComplete) retry.push_back(bus);
                      const gchar* address = nullptr;
                      if (r && g_variant_is_of_type(r, G_VARIANT_TYPE("(s)"))) {
                        g_variant_get(r, "(&s)", &address);
                        addresses[bus] = address;
                      }
                    }});
  }
  if (asks.empty()) return;
  run(asks); // each application asked is marked tried: this does not come back here
  for (const auto& bus : retry)
    buses[bus].directTried = false;
  for (const auto& [bus, address] : addresses) {
    BusFacts& f = facts(bus);
    // Only a local socket: the address comes from the application.
    if (address.starts_with("unix:") && !f.unresponsive) f.direct = open(address, false);
  }
}

void Transport::runOne(Call call) {
  std::vector<Call> one;
  one.push_back(std::move(call));
  run(one);
}

Transport::~Transport() {
  for (auto& [bus, f] : buses)
    close(f.direct);
  close(calls);
  if (a11y) g_object_unref(a11y);
  if (session) g_object_unref(session);
}

void Transport::newRequest() {
  ++gen;
  // The sockets of applications that quit since.
  for (auto& [bus, f] : buses)
    drop(f.direct);
}

bool Transport::setStatusEnabled() {
  GVariant* r = sessionCall(
      I_PROPERTIES, "Set",
      g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)));
  if (r) g_variant_unref(r);
  return r != nullptr;
}

int Transport::pidOfBus(const std::string& bus) {
  if (bus.empty()) return 0;
  BusFacts& f = buses[bus];
  if (f.pidKnown) return f.pid;
  if (!a11yBus()) return 0;
  GError* error = nullptr;
  GVariant* r = g_dbus_connection_call_sync(
      a11y, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "GetConnectionUnixProcessID", g_variant_new("(s)", bus.c_str()), nullptr,
      G_DBUS_CALL_FLAGS_NONE, DEFAULT_TIMEOUT_MS, nullptr, &error);
  if (error) g_error_free(error);
  if (!r) return 0;
  guint32 pid = 0;
  g_variant_get(r, "(u)", &pid);
  g_variant_unref(r);
  f.pid = static_cast<int>(pid);
  f.pidKnown = true;
  return f.pid;
}

} // namespace plenk::atspi
