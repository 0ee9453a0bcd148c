// The accessibility bus as the AT-SPI backend speaks it: the connections (session bus, the
// accessibility bus, each application's own socket), calls pipelined many at a time with a
// deadline each, and what is known of each application's connection.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/linux/atspi.hpp"
#include "platform/linux/atspi_toolkits.hpp"

#include <cstdint>
#include <dbus/dbus.h>
#include <functional>
#include <gio/gio.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace plenk::atspi {

inline constexpr const char* ROOT_PATH = "/org/a11y/atspi/accessible/root";
inline constexpr const char* REGISTRY = "org.a11y.atspi.Registry";
inline constexpr const char* NULL_PATH = "/org/a11y/atspi/null";
inline constexpr const char* I_ACCESSIBLE = "org.a11y.atspi.Accessible";
inline constexpr const char* I_COMPONENT = "org.a11y.atspi.Component";
inline constexpr const char* I_TEXT = "org.a11y.atspi.Text";
inline constexpr const char* I_VALUE = "org.a11y.atspi.Value";
inline constexpr const char* I_APPLICATION = "org.a11y.atspi.Application";
inline constexpr const char* I_PROPERTIES = "org.freedesktop.DBus.Properties";
inline constexpr const char* CACHE_PATH = "/org/a11y/atspi/cache";
inline constexpr const char* I_CACHE = "org.a11y.atspi.Cache";

// Until the logic sets one, a request to an application waits this long.
inline constexpr int DEFAULT_TIMEOUT_MS = 1000;

// One method call: where it goes, and what to do with its answer (the reply's body, or none and
// the failure).
struct Call {
  std::string bus, path;
  const char* iface;
  const char* method;
  GVariant* params; // floating; the call takes it
  std::function<void(GVariant* reply, AxStatus status)> done;
};

// What is known of an application, by its name on the bus.
struct BusFacts {
  int pid = 0;
  bool pidKnown = false;
  std::optional<ToolkitQuirks> toolkit;
  int timeoutMs = DEFAULT_TIMEOUT_MS;
  unsigned gen = 0;
  bool unresponsive = false;    // timed out during this request: later reads fail at once
  bool suspect = false;         // a read timed out with nothing else answered meanwhile
  std::int64_t lastReplyAt = 0; // monotonic microseconds of its last answer
  // Its own socket, where the application serves accessibility without the bus in between.
  DBusConnection* direct = nullptr;
  bool directTried = false;
  unsigned cacheGen = 0;      // the request that read its cache
  bool boundsSettled = false; // its late rectangles came, or never will
};

// The failure that a GDBus error names.
AxStatus statusOf(const GError* e);

struct Transport {
  GDBusConnection* session = nullptr;
  GDBusConnection* a11y = nullptr;
  // The calls go over libdbus in this thread: GDBus hands every message to a thread of its own
  // and back, which cost more than the application's own work on a call.
  DBusConnection* calls = nullptr;
  dbus_uint32_t serial = 0;
  unsigned gen = 1;
  std::map<std::string, BusFacts> buses;
  AtspiCounters counters;

  Transport() = default;
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;
  ~Transport();

  // A new request: applications that timed out in the last one are asked again, and the sockets
  // of applications that quit since are let go.
  void newRequest();

  // The session bus's accessibility switch, and the accessibility bus.
  std::optional<bool> statusEnabled();
  bool setStatusEnabled();
  bool trusted();

  BusFacts& facts(const std::string& bus);
  // The process behind a name on the accessibility bus (0 when unknown).
  int pidOfBus(const std::string& bus);

  // Sends the calls, many at a time, and waits for every answer; each call gives up at its
  // application's timeout.
  void run(std::vector<Call>& list);
  void runOne(Call call);

private:
  struct Slot;
  bool sessionBus();
  GVariant* sessionCall(const char* iface, const char* method, GVariant* params);
  bool a11yBus();
  void connectDirect(const std::vector<Call>& list);
  DBusMessage* message(const Call& c, bool direct);
  void answer(Slot& slot, DBusMessage* reply);
  void finish(Slot& slot, GVariant* reply, AxStatus status);
};

} // namespace plenk::atspi
