#include "platform/linux/atspi.hpp"

#include "platform/linux/atspi_order.hpp"
#include "platform/linux/atspi_roles.hpp"
#include "platform/linux/atspi_text.hpp"
#include "platform/linux/atspi_toolkits.hpp"
#include "platform/linux/atspi_x11.hpp"
#include "platform/linux/gnome_shell.hpp"
#include "platform/linux/session.hpp"

#include <algorithm>
#include <atspi/atspi-constants.h>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <dbus/dbus.h>
#include <functional>
#include <gio/gio.h>
#include <limits>
#include <map>
#include <poll.h>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace plenk {

using atspi::ToolkitQuirks;
using atspi::XDesktop;
using atspi::XWindow;

namespace {

constexpr const char* ROOT_PATH = "/org/a11y/atspi/accessible/root";
constexpr const char* REGISTRY = "org.a11y.atspi.Registry";
constexpr const char* NULL_PATH = "/org/a11y/atspi/null";
constexpr const char* I_ACCESSIBLE = "org.a11y.atspi.Accessible";
constexpr const char* I_COMPONENT = "org.a11y.atspi.Component";
constexpr const char* I_TEXT = "org.a11y.atspi.Text";
constexpr const char* I_VALUE = "org.a11y.atspi.Value";
constexpr const char* I_APPLICATION = "org.a11y.atspi.Application";
constexpr const char* I_PROPERTIES = "org.freedesktop.DBus.Properties";
constexpr const char* CACHE_PATH = "/org/a11y/atspi/cache";
constexpr const char* I_CACHE = "org.a11y.atspi.Cache";

// Until the logic sets one, a request to an application waits this long.
constexpr int DEFAULT_TIMEOUT_MS = 1000;
constexpr int PING_TIMEOUT_MS = 300;
// The most nodes one look ahead reads, and the most calls in flight at once.
constexpr std::size_t PREFETCH_NODES = 3000;
// The most nodes whose facts one batch reads.
constexpr std::size_t BATCH_NODES = 400;
// A slow application must not keep the look ahead past the walk's own budget.
constexpr std::int64_t LOOK_AHEAD_MICROS = 1'000'000;
// Enough calls in flight to keep an application busy, few enough that the last of them does not
// wait out its timeout behind the others.
constexpr std::size_t IN_FLIGHT = 48;
// Bounds of the searches the backend does for itself (focused element, menu bar, hit-test).
constexpr std::size_t SEARCH_NODES = 6000;
constexpr int SEARCH_DEPTH = 60;
constexpr std::int64_t SEARCH_MICROS = 1'000'000;
constexpr std::size_t MENU_BAR_SEARCH_NODES = 400;
constexpr int MENU_BAR_SEARCH_DEPTH = 6;
constexpr std::int64_t EMPTY_RECHECK_MICROS = 100'000;
// How long waking an application's accessibility waits for its windows to show their contents.
constexpr std::int64_t WAKE_WAIT_MICROS = 2'000'000;
constexpr std::int64_t WAKE_POLL_MICROS = 100'000;
// How long the first request waits for an application's late rectangles (Gecko), and how often
// it asks again.
constexpr std::int64_t BOUNDS_WAIT_MICROS = 1'500'000;
constexpr std::int64_t BOUNDS_POLL_MICROS = 100'000;
// How long waking such an application waits for its front document's rectangle.
constexpr std::int64_t LAYOUT_WAIT_MICROS = 5'000'000;
// How long the guard before typing waits for a focus that a password field may otherwise have.
constexpr std::int64_t FOCUS_WAIT_MICROS = 1'000'000;
constexpr std::int64_t FOCUS_POLL_MICROS = 50'000;

constexpr std::uint64_t bit(AtspiStateType s) {
  return atspi::STATE_BIT(static_cast<int>(s));
}

using NodePtr = std::shared_ptr<struct Node>;

struct Node : std::enable_shared_from_this<Node> {
  enum class Kind { systemWide, app, object, textLeaf };
  Kind kind = Kind::object;
  std::string bus, path;
  std::weak_ptr<Node> parent; // the node whose children hold this one
  std::weak_ptr<Node> window; // the top-level window it lies in
  unsigned gen = 0;

  bool basicsKnown = false;
  AxStatus basicsStatus = AxStatus::ok;
  std::uint32_t role = 0;
  std::uint32_t parentRole = 0;
  std::uint64_t states = 0;
  std::string name, description, help;
  bool helpKnown = false;   // the toolkit's cache has no help text: read it when it is asked for
  bool factsQueued = false; // waiting in the queues of the look ahead
  int childCount = -1;
  std::optional<std::map<std::string, std::string>> attributes;

  // What labels it when nothing of its own does: read only for nodes that may need it.
  bool labellingKnown = false;
  NodePtr labelledBy;

  bool childrenKnown = false;
  bool childrenOrdered = false; // in reading order (see inReadingOrder)
  AxStatus childrenStatus = AxStatus::ok;
  std::int64_t childrenAt = 0; // when they were read (microseconds, monotonic)
  std::vector<NodePtr> children;

  bool extentsKnown = false;
  AxStatus extentsStatus = AxStatus::ok;
  Rect extents;

  bool textKnown = false;
  AxStatus textStatus = AxStatus::ok;
  std::string text;

  bool valueKnown = false;
  AxStatus valueStatus = AxStatus::ok;
  double value = 0;

  // The text children made up for an element whose own text is its content: the pieces of its
  // text between its children (a paragraph's words around a link).
  bool leavesKnown = false;
  std::vector<NodePtr> leaves;
  std::string rawText; // the text with the embedded-object characters that stand for children

  // Facts last one request: a new request reads everything again.
  void renew(unsigned g) {
    if (gen == g) return;
    gen = g;
    basicsKnown = childrenKnown = childrenOrdered = extentsKnown = textKnown = valueKnown = false;
    labellingKnown = helpKnown = factsQueued = false;
    labelledBy.reset();
    attributes.reset();
    children.clear();
    leaves.clear();
    leavesKnown = false;
    childCount = -1;
  }
};

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
  bool boundsSettled = false; // its late rectangles (see settleBounds) came, or never will
};

std::string mappedRole(const Node& n) {
  return std::string(atspi::roleName(n.role, n.states, n.parentRole).role);
}

bool isWindowRole(std::uint32_t role) {
  return role == ATSPI_ROLE_FRAME || role == ATSPI_ROLE_WINDOW || role == ATSPI_ROLE_DIALOG ||
         role == ATSPI_ROLE_FILE_CHOOSER || role == ATSPI_ROLE_ALERT;
}

bool isTextRole(std::uint32_t role) {
  switch (role) {
  case ATSPI_ROLE_TEXT:
  case ATSPI_ROLE_ENTRY:
  case ATSPI_ROLE_LABEL:
  case ATSPI_ROLE_STATIC:
  case ATSPI_ROLE_CAPTION:
  case ATSPI_ROLE_TERMINAL:
  case ATSPI_ROLE_DOCUMENT_TEXT:
  case ATSPI_ROLE_EDITBAR:
  case ATSPI_ROLE_SPIN_BUTTON:
  case ATSPI_ROLE_DESCRIPTION_TERM:
  case ATSPI_ROLE_DESCRIPTION_VALUE:
  case ATSPI_ROLE_HEADING:
  case ATSPI_ROLE_LIST_ITEM:
    return true;
  default:
    return false;
  }
}

// Controls that are one thing to the user: their own labels and parts are not elements of their
// own (GTK 4 puts a label inside every button).
bool isAtomic(std::uint32_t role) {
  return role == ATSPI_ROLE_PUSH_BUTTON || role == ATSPI_ROLE_TOGGLE_BUTTON ||
         role == ATSPI_ROLE_CHECK_BOX || role == ATSPI_ROLE_RADIO_BUTTON ||
         role == ATSPI_ROLE_PUSH_BUTTON_MENU;
}

// Where hit-testing stops descending: what a pointer acts on as a whole.
bool stopsHitTest(std::uint32_t role) {
  return isAtomic(role) || role == ATSPI_ROLE_LINK || role == ATSPI_ROLE_MENU_ITEM ||
         role == ATSPI_ROLE_ENTRY || role == ATSPI_ROLE_TEXT || role == ATSPI_ROLE_PASSWORD_TEXT ||
         role == ATSPI_ROLE_COMBO_BOX || role == ATSPI_ROLE_SLIDER ||
         role == ATSPI_ROLE_SPIN_BUTTON;
}

// Whether an element is on screen, for a toolkit that sets the showing state (`reports`) or one
// that sets none. An element not read yet, or unreadable, is not taken for hidden.
bool shown(const Node& n, bool reports) {
  return !reports || n.kind != Node::Kind::object || !n.basicsKnown ||
         n.basicsStatus != AxStatus::ok || (n.states & bit(ATSPI_STATE_SHOWING));
}

bool isValueRole(std::uint32_t role) {
  return role == ATSPI_ROLE_SLIDER || role == ATSPI_ROLE_SCROLL_BAR ||
         role == ATSPI_ROLE_PROGRESS_BAR || role == ATSPI_ROLE_LEVEL_BAR || role == ATSPI_ROLE_DIAL;
}

bool isCheckable(std::uint32_t role) {
  return role == ATSPI_ROLE_CHECK_BOX || role == ATSPI_ROLE_RADIO_BUTTON ||
         role == ATSPI_ROLE_TOGGLE_BUTTON || role == ATSPI_ROLE_CHECK_MENU_ITEM ||
         role == ATSPI_ROLE_RADIO_MENU_ITEM;
}

// Roles whose elements the readers ask for rectangles, texts and labels; the look ahead reads
// those facts for them only.
bool isCandidate(const Node& n) {
  static const std::set<std::string> GROUPS{
      "AXGroup",   "AXUnknown",    "AXList",    "AXScrollArea", "AXMenu",        "AXTable",
      "AXOutline", "AXSplitGroup", "AXToolbar", "AXTabGroup",   "AXApplication", "AXMenuBar"};
  return !GROUPS.contains(mappedRole(n));
}

// GTK 4 names a widget without a label after its class ("GtkEntry"): that is no name.
bool isClassName(const std::string& name) {
  if (name.size() < 4 || name.compare(0, 3, "Gtk") != 0 || !std::isupper(name[3])) return false;
  return std::all_of(name.begin(), name.end(), [](char c) { return std::isalnum(c); });
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
    s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
    s.remove_suffix(1);
  return s;
}

bool isBlank(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isspace(c); });
}

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

// The state set as AT-SPI sends it (an array of 32-bit words); words past the second name no
// state and are left out.
std::uint64_t stateBits(GVariant* words) {
  std::uint64_t bits = 0;
  GVariantIter it;
  g_variant_iter_init(&it, words);
  guint32 word = 0;
  for (int i = 0; i < 2 && g_variant_iter_next(&it, "u", &word); ++i)
    bits |= std::uint64_t{word} << (32 * i);
  return bits;
}

struct Call {
  std::string bus, path;
  const char* iface;
  const char* method;
  GVariant* params; // floating; the call takes it
  std::function<void(GVariant* reply, AxStatus status)> done;
};

} // namespace

struct AtspiAccessibility::Impl {
  bool bulk = true;
  GDBusConnection* session = nullptr;
  GDBusConnection* a11y = nullptr;
  // The calls of the walks go over libdbus in this thread: GDBus hands every message to a thread
  // of its own and back, which cost more than the application's own work on a call.
  DBusConnection* calls = nullptr;
  dbus_uint32_t serial = 0;
  unsigned gen = 1;
  std::map<std::pair<std::string, std::string>, std::weak_ptr<Node>> nodes;
  std::size_t purgeAt = 4096;
  std::map<std::string, BusFacts> buses;
  NodePtr systemWideNode;
  // Nodes of this request waiting for facts that the look ahead reads together.
  std::vector<std::weak_ptr<Node>> pendingExtents, pendingTexts, pendingLabels, pendingBasics;
  std::optional<XDesktop> xdesktop; // read once per request
  unsigned xdesktopGen = 0;
  // Where each relative window's rectangles start on the screen (this request).
  std::map<unsigned long, std::optional<atspi::Origin>> origins;
  AtspiCounters counters;

  // The children of the nodes whose children the toolkit's cache holds whole (this request).
  std::map<std::pair<std::string, std::string>, std::vector<NodePtr>> cachedChildren;

  ~Impl() {
    for (auto& [bus, f] : buses)
      close(f.direct);
    close(calls);
    if (a11y) g_object_unref(a11y);
    if (session) g_object_unref(session);
  }

  void newRequest() {
    ++gen;
    pendingExtents.clear();
    pendingTexts.clear();
    pendingLabels.clear();
    pendingBasics.clear();
    cachedChildren.clear();
    // The sockets of applications that quit since.
    for (auto& [bus, f] : buses)
      drop(f.direct);
  }

  // ---- connections ----

  static GDBusConnection* connect(const std::string& address) {
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

  static void drop(GDBusConnection*& c) {
    if (c && g_dbus_connection_is_closed(c)) {
      g_object_unref(c);
      c = nullptr;
    }
  }

  static void close(DBusConnection*& c) {
    if (!c) return;
    dbus_connection_close(c);
    dbus_connection_unref(c);
    c = nullptr;
  }

  static void drop(DBusConnection*& c) {
    if (c && !dbus_connection_get_is_connected(c)) close(c);
  }

  // A connection of libdbus to `address`, not shared with anyone else in the process.
  static DBusConnection* open(const std::string& address, bool bus) {
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

  bool sessionBus() {
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

  GVariant* sessionCall(const char* iface, const char* method, GVariant* params) {
    if (!sessionBus()) {
      if (params) g_variant_unref(g_variant_ref_sink(params));
      return nullptr;
    }
    GError* error = nullptr;
    GVariant* r = g_dbus_connection_call_sync(session, "org.a11y.Bus", "/org/a11y/bus", iface,
                                              method, params, nullptr, G_DBUS_CALL_FLAGS_NONE,
                                              DEFAULT_TIMEOUT_MS, nullptr, &error);
    if (error) g_error_free(error);
    return r;
  }

  std::optional<bool> statusEnabled() {
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

  bool a11yBus() {
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

  bool trusted() { return statusEnabled() == true && a11yBus(); }

  // ---- calls ----

  BusFacts& facts(const std::string& bus) {
    BusFacts& f = buses[bus];
    if (f.gen != gen) {
      f.gen = gen;
      f.unresponsive = false;
    }
    return f;
  }

  // A call on its way: what it answers, on which connection, and until when it is waited for.
  struct Slot {
    Call* call;
    DBusConnection* connection;
    std::int64_t deadline; // monotonic microseconds
    bool direct;
  };

  // The message of a call, made by GDBus and carried by libdbus: both keep to the protocol, so
  // the call's arguments stay a GVariant.
  DBusMessage* message(const Call& c, bool direct) {
    GDBusMessage* m = g_dbus_message_new_method_call(direct ? nullptr : c.bus.c_str(),
                                                     c.path.c_str(), c.iface, c.method);
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
  void answer(Slot& slot, DBusMessage* reply) {
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

  void finish(Slot& slot, GVariant* reply, AxStatus status) {
    BusFacts& f = facts(slot.call->bus);
    std::int64_t now = g_get_monotonic_time();
    // Timed out with nothing else answered meanwhile: the application does not answer at all,
    // and the rest of this request does not wait for it again.
    if (status == AxStatus::cannotComplete &&
        now - f.lastReplyAt >= std::int64_t{f.timeoutMs} * 1000)
      f.suspect = true;
    if (reply) f.lastReplyAt = now;
    slot.call->done(reply, reply ? AxStatus::ok : status);
  }

  // Sends the calls, up to IN_FLIGHT at a time, and waits for every answer. A call to an
  // application that timed out earlier in this request fails at once. Nothing here blocks: a
  // stopped application's socket is written as far as it takes, and each call gives up at its
  // own deadline.
  void run(std::vector<Call>& list) {
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
        Slot slot{&c, connection, g_get_monotonic_time() + std::int64_t{f.timeoutMs} * 1000,
                  direct};
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
  void connectDirect(const std::vector<Call>& calls) {
    std::vector<Call> asks;
    std::map<std::string, std::string> addresses;
    std::vector<std::string> retry;
    for (const auto& c : calls) {
      if (!bulk || c.bus.empty() || c.bus == REGISTRY) continue;
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

  void runOne(Call call) {
    std::vector<Call> calls;
    calls.push_back(std::move(call));
    run(calls);
  }

  // ---- nodes ----

  NodePtr intern(const std::string& bus, const std::string& path, Node::Kind kind) {
    auto key = std::make_pair(bus, path);
    if (auto found = nodes[key].lock()) {
      found->renew(gen);
      return found;
    }
    auto n = std::make_shared<Node>();
    n->kind = kind;
    n->bus = bus;
    n->path = path;
    n->gen = gen;
    nodes[key] = n;
    if (nodes.size() > purgeAt) {
      std::erase_if(nodes, [](const auto& e) { return e.second.expired(); });
      purgeAt = std::max<std::size_t>(4096, nodes.size() * 2);
    }
    return n;
  }

  static Node& of(const Element& e) { return *static_cast<Node*>(e.ref().get()); }
  static NodePtr ptr(const Element& e) { return std::static_pointer_cast<Node>(e.ref()); }
  static Element element(const NodePtr& n) { return Element(std::static_pointer_cast<void>(n)); }

  // The Accessible properties in `dict` (a{sv}): all of them from GetAll, or one from Get.
  static void takeProperties(Node& n, GVariant* dict) {
    const gchar* str = nullptr;
    if (g_variant_lookup(dict, "Name", "&s", &str)) n.name = isClassName(str) ? "" : str;
    if (g_variant_lookup(dict, "Description", "&s", &str)) n.description = str;
    // Newer toolkits say what a tooltip says here; GTK 3 and 4.8 put a tooltip into the
    // description.
    if (g_variant_lookup(dict, "HelpText", "&s", &str)) n.help = str;
    gint32 count = -1;
    if (g_variant_lookup(dict, "ChildCount", "i", &count)) n.childCount = count;
    GVariantIter* it = nullptr;
    if (g_variant_lookup(dict, "Attributes", "a{ss}", &it)) {
      n.attributes.emplace();
      const gchar *k = nullptr, *v = nullptr;
      while (g_variant_iter_next(it, "{&s&s}", &k, &v))
        (*n.attributes)[k] = v;
      g_variant_iter_free(it);
    }
  }

  // Role, states, name, description and child count of each node, read together with those of
  // the nodes waiting for them (children listed by a look ahead that ran out of time before it
  // read them: one at a time, each would cost a round trip of its own).
  void basics(const std::vector<Node*>& wanted) {
    std::vector<Call> calls;
    std::vector<Node*> list = wanted;
    std::vector<NodePtr> waiting;
    if (bulk && std::any_of(wanted.begin(), wanted.end(), [this](Node* n) {
          return n->kind == Node::Kind::object && (n->gen != gen || !n->basicsKnown);
        })) {
      // Up to a batch in all: a read past the walk's deadline stays short.
      waiting = takePending(
          pendingBasics, [](const Node& q) { return q.basicsKnown; },
          BATCH_NODES - std::min(BATCH_NODES, wanted.size()));
      for (auto& p : waiting)
        list.push_back(p.get());
    }
    for (Node* n : list) {
      n->renew(gen);
      if (n->basicsKnown || n->kind != Node::Kind::object) continue;
      n->basicsKnown = true;
      n->basicsStatus = AxStatus::ok;
      auto fail = [n](AxStatus s) {
        if (s != AxStatus::ok && n->basicsStatus == AxStatus::ok) n->basicsStatus = s;
      };
      calls.push_back(
          {n->bus, n->path, I_ACCESSIBLE, "GetRole", nullptr, [n, fail](GVariant* r, AxStatus s) {
             if (r) g_variant_get(r, "(u)", &n->role);
             fail(s);
           }});
      calls.push_back(
          {n->bus, n->path, I_ACCESSIBLE, "GetState", nullptr, [n, fail](GVariant* r, AxStatus s) {
             fail(s);
             if (!r || !g_variant_is_of_type(r, G_VARIANT_TYPE("(au)"))) return;
             GVariant* words = g_variant_get_child_value(r, 0);
             n->states = stateBits(words);
             g_variant_unref(words);
           }});
      if (toolkitOf(n->bus).getAll) {
        calls.push_back({n->bus, n->path, I_PROPERTIES, "GetAll",
                         g_variant_new("(s)", I_ACCESSIBLE), [n, fail](GVariant* r, AxStatus s) {
                           fail(s);
                           if (!r) return;
                           GVariant* dict = g_variant_get_child_value(r, 0);
                           takeProperties(*n, dict);
                           n->helpKnown = true;
                           g_variant_unref(dict);
                         }});
        continue;
      }
      // One property at a time where GetAll is not safe; the help text is read when asked for.
      for (const char* property : {"Name", "Description", "ChildCount"})
        calls.push_back({n->bus, n->path, I_PROPERTIES, "Get",
                         g_variant_new("(ss)", I_ACCESSIBLE, property),
                         [n, fail, property](GVariant* r, AxStatus s) {
                           if (s != AxStatus::attributeUnsupported) fail(s);
                           GVariant* v = nullptr;
                           if (r && g_variant_is_of_type(r, G_VARIANT_TYPE("(v)")))
                             g_variant_get(r, "(v)", &v);
                           if (!v) return;
                           GVariantBuilder one;
                           g_variant_builder_init(&one, G_VARIANT_TYPE_VARDICT);
                           g_variant_builder_add(&one, "{sv}", property, v);
                           GVariant* dict = g_variant_ref_sink(g_variant_builder_end(&one));
                           takeProperties(*n, dict);
                           g_variant_unref(dict);
                           g_variant_unref(v);
                         }});
    }
    run(calls);
    if (!bulk) return;
    for (Node* n : list)
      if (n->basicsKnown) queueFacts(*n);
  }

  // Puts a node whose basics are read into the queues of the facts the readers will ask of it,
  // in the order the look ahead meets them.
  void queueFacts(Node& n) {
    if (n.kind != Node::Kind::object || n.basicsStatus != AxStatus::ok || n.factsQueued) return;
    n.factsQueued = true;
    if (isCandidate(n)) pendingExtents.push_back(n.shared_from_this());
    // Headings and list items need their own text only when no children carry it.
    bool container = n.role == ATSPI_ROLE_LIST_ITEM || n.role == ATSPI_ROLE_HEADING;
    if (n.role == ATSPI_ROLE_TEXT || n.role == ATSPI_ROLE_ENTRY || atspi::textIsContent(n.role) ||
        (isTextRole(n.role) && n.name.empty() && !(container && n.childCount != 0)))
      pendingTexts.push_back(n.shared_from_this());
    // Nothing of its own labels it: the placeholder or a labelling element may.
    if (isCandidate(n) && isBlank(n.name) && isBlank(n.description) && isBlank(n.help))
      pendingLabels.push_back(n.shared_from_this());
  }

  void basics(Node* n) { basics(std::vector<Node*>{n}); }

  // The children of each node, one batch for all.
  void childrenOf(const std::vector<Node*>& list) {
    std::vector<Call> calls;
    for (Node* n : list) {
      n->renew(gen);
      if (n->childrenKnown) continue;
      n->childrenKnown = true;
      n->childrenOrdered = false;
      n->childrenStatus = AxStatus::ok;
      n->childrenAt = g_get_monotonic_time();
      if (n->kind == Node::Kind::textLeaf) continue;
      if (n->kind == Node::Kind::object && n->basicsKnown && n->childCount == 0) continue;
      if (auto cached = cachedChildren.find({n->bus, n->path}); cached != cachedChildren.end()) {
        for (const NodePtr& child : cached->second) {
          child->parent = n->shared_from_this();
          child->parentRole = n->role;
          child->window = n->window;
          queueFacts(*child);
          n->children.push_back(child);
        }
        continue;
      }
      calls.push_back({n->bus, n->path, I_ACCESSIBLE, "GetChildren", nullptr,
                       [this, n](GVariant* r, AxStatus s) {
                         n->childrenStatus = s;
                         if (!r) return;
                         GVariantIter* it = nullptr;
                         g_variant_get(r, "(a(so))", &it);
                         const gchar *bus = nullptr, *path = nullptr;
                         NodePtr self = n->shared_from_this();
                         bool topLevel = n->kind == Node::Kind::app;
                         while (g_variant_iter_next(it, "(&s&o)", &bus, &path)) {
                           bool root = std::string_view(path) == ROOT_PATH;
                           NodePtr child =
                               intern(bus, path, root ? Node::Kind::app : Node::Kind::object);
                           if (child.get() == n) continue;
                           // A browser that has not built its tree yet answers the null object.
                           if (std::string_view(path) == NULL_PATH) continue;
                           child->parent = self;
                           child->parentRole = n->kind == Node::Kind::object ? n->role : 0;
                           child->window = topLevel ? child : n->window;
                           if (!child->basicsKnown && child->kind == Node::Kind::object)
                             pendingBasics.push_back(child);
                           n->children.push_back(std::move(child));
                         }
                         g_variant_iter_free(it);
                       }});
    }
    run(calls);
  }

  // The toolkit's cache of its accessibles (the AT-SPI bridge of GTK 3 and Chromium keeps one):
  // role, states, names and child count of every accessible it holds, and each one's place under
  // its parent, in one call. Read once per request for an application that a walk enters.
  void readCache(const std::string& bus) {
    if (!bulk || bus.empty() || bus == REGISTRY) return;
    BusFacts& f = facts(bus);
    if (f.cacheGen == gen || f.unresponsive) return;
    f.cacheGen = gen;
    runOne({bus, CACHE_PATH, I_CACHE, "GetItems", nullptr, [this, bus](GVariant* r, AxStatus) {
              if (r) fromCache(bus, r);
            }});
  }

  // Takes the basics of each cached accessible, and the children of the nodes whose children the
  // cache holds all of (the bridge leaves out the children of lists that make theirs on demand,
  // and may lag behind a change): the rest are asked for as before. Everything in the cache is
  // read live when it answers, so it is as fresh as a call of our own.
  void fromCache(const std::string& bus, GVariant* reply) {
    // Older bridges answer another layout: then there is no cache to use.
    if (!g_variant_is_of_type(reply, G_VARIANT_TYPE("(a((so)(so)(so)iiassusau))"))) return;
    struct Placed {
      NodePtr node;
      std::string parent;
      gint32 index;
    };
    std::vector<Placed> placed;
    std::map<std::string, gint32> counts; // child count of each cached accessible
    GVariant* items = g_variant_get_child_value(reply, 0);
    GVariantIter it;
    g_variant_iter_init(&it, items);
    while (GVariant* item = g_variant_iter_next_value(&it)) {
      const gchar *selfBus = nullptr, *self = nullptr, *parentBus = nullptr, *parent = nullptr;
      const gchar *name = nullptr, *description = nullptr;
      gint32 index = -1, count = -1;
      guint32 role = 0;
      GVariant* states = nullptr;
      g_variant_get(item, "((&s&o)(so)(&s&o)iias&su&s@au)", &selfBus, &self, nullptr, nullptr,
                    &parentBus, &parent, &index, &count, nullptr, &name, &role, &description,
                    &states);
      std::uint64_t bits = stateBits(states);
      g_variant_unref(states);
      if (bus == selfBus && std::string_view(self) != ROOT_PATH &&
          !(bits & bit(ATSPI_STATE_DEFUNCT))) {
        NodePtr n = intern(bus, self, Node::Kind::object);
        if (!n->basicsKnown) {
          n->basicsKnown = true;
          n->basicsStatus = AxStatus::ok;
          n->role = role;
          n->states = bits;
          n->name = isClassName(name) ? std::string() : std::string(name);
          n->description = description;
          n->childCount = count;
        }
        counts[self] = n->childCount;
        if (bus == parentBus && index >= 0) placed.push_back({std::move(n), parent, index});
      }
      g_variant_unref(item);
    }
    g_variant_unref(items);
    std::map<std::string, std::vector<Placed*>> byParent;
    for (auto& p : placed)
      byParent[p.parent].push_back(&p);
    for (auto& [parent, children] : byParent) {
      auto count = counts.find(parent);
      if (count == counts.end() || std::size_t(count->second) != children.size()) continue;
      std::sort(children.begin(), children.end(),
                [](const Placed* a, const Placed* b) { return a->index < b->index; });
      bool whole = true;
      for (std::size_t i = 0; i < children.size() && whole; ++i)
        whole = children[i]->index == gint32(i);
      if (!whole) continue;
      std::vector<NodePtr> nodes;
      for (Placed* p : children)
        nodes.push_back(p->node);
      cachedChildren[{bus, parent}] = std::move(nodes);
    }
  }

  std::vector<Node*> raw(const std::vector<NodePtr>& v) {
    std::vector<Node*> out;
    out.reserve(v.size());
    for (const auto& n : v)
      out.push_back(n.get());
    return out;
  }

  // Reads ahead from `start` breadth first: the children and basics of up to PREFETCH_NODES
  // nodes below it, each level in one batch, so that a walk that follows finds them read.
  // Up to BATCH_NODES waiting nodes of this request that still lack a fact, oldest first; the
  // rest keep waiting. One read never costs more than one such batch.
  template <typename Known>
  std::vector<NodePtr> takePending(std::vector<std::weak_ptr<Node>>& pending, Known known,
                                   std::size_t limit = BATCH_NODES) {
    std::vector<NodePtr> out;
    std::size_t i = 0;
    for (; i < pending.size() && out.size() < limit; ++i)
      if (auto p = pending[i].lock(); p && p->gen == gen && !known(*p)) out.push_back(std::move(p));
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(i));
    return out;
  }

  void lookAhead(Node* start) {
    readCache(start->bus);
    // The walk takes the following siblings next: read some of them along with this one (the
    // walk goes depth first: the rest of a long list comes long after).
    std::vector<Node*> frontier{start};
    if (NodePtr parent = start->parent.lock()) {
      bool after = false;
      for (auto& sibling : parent->children) {
        if (frontier.size() >= BATCH_NODES) break;
        if (sibling.get() == start)
          after = true;
        else if (after && !sibling->childrenKnown && sibling->gen == gen)
          frontier.push_back(sibling.get());
      }
    }
    std::size_t read = 0;
    std::int64_t until = g_get_monotonic_time() + LOOK_AHEAD_MICROS;
    while (!frontier.empty() && read < PREFETCH_NODES && g_get_monotonic_time() < until) {
      childrenOf(frontier);
      std::vector<Node*> next;
      for (Node* n : frontier)
        for (auto& c : n->children)
          next.push_back(c.get());
      // In slices, so that the limits hold within a wide level too; what is left unread is read
      // when the walk gets there.
      for (std::size_t at = 0;
           at < next.size() && read + at < PREFETCH_NODES && g_get_monotonic_time() < until;
           at += BATCH_NODES)
        basics(std::vector<Node*>(
            next.begin() + static_cast<std::ptrdiff_t>(at),
            next.begin() + static_cast<std::ptrdiff_t>(std::min(next.size(), at + BATCH_NODES))));
      read += next.size();
      frontier.clear();
      for (Node* n : next)
        if (n->basicsKnown && !n->childrenKnown && n->childCount != 0 &&
            n->basicsStatus == AxStatus::ok)
          frontier.push_back(n);
    }
  }

  NodePtr textLeaf(const NodePtr& n, std::string text) {
    auto leaf = std::make_shared<Node>();
    leaf->kind = Node::Kind::textLeaf;
    leaf->bus = n->bus;
    leaf->path = n->path;
    leaf->gen = gen;
    leaf->parent = n;
    leaf->window = n->window;
    leaf->role = ATSPI_ROLE_STATIC;
    leaf->basicsKnown = leaf->childrenKnown = leaf->textKnown = true;
    leaf->text = std::move(text);
    return leaf;
  }

  // The children of an element whose own text is its content, with that text as static-text
  // children: each piece between two embedded objects goes before the child that the next one
  // stands for, as browsers give a paragraph on other desktops. A cell whose name says its text
  // already, and the text roles that give their text as their value, get none.
  std::vector<NodePtr> withContentText(const NodePtr& n,
                                       const std::vector<NodePtr>& shownChildren) {
    auto mapped = atspi::roleName(n->role, n->states, n->parentRole).role;
    bool selectable = n->role == ATSPI_ROLE_LIST_ITEM && (n->states & bit(ATSPI_STATE_SELECTABLE));
    if (!atspi::textIsContent(n->role) || selectable || mapped == "AXTextArea" ||
        mapped == "AXTextField" || mapped == "AXStaticText")
      return shownChildren;
    if (!n->leavesKnown) {
      n->leavesKnown = true;
      nodeText(n);
      // Toolkits that give the text as children of its own (Chromium's static texts) have no
      // embedded object for them: then the children say it all.
      std::vector<std::string> pieces = atspi::piecesAroundChildren(n->rawText, n->children.size());
      if (n->children.empty() && !pieces.empty()) {
        std::string& whole = pieces.front();
        // Headings and list items of toolkits without a Text interface give their name.
        if (isBlank(whole) && (n->role == ATSPI_ROLE_HEADING || n->role == ATSPI_ROLE_LIST_ITEM))
          whole = n->name;
        if (n->role == ATSPI_ROLE_TABLE_CELL && trimmed(whole) == trimmed(n->name)) whole.clear();
      }
      for (auto& piece : pieces)
        n->leaves.push_back(isBlank(piece) ? nullptr : textLeaf(n, std::move(piece)));
    }
    std::vector<NodePtr> out;
    std::size_t next = 0; // the next shown child
    for (std::size_t i = 0; i < n->leaves.size(); ++i) {
      if (n->leaves[i]) out.push_back(n->leaves[i]);
      // In place: the child that the embedded object after this piece stands for.
      if (n->leaves.size() == n->children.size() + 1 && i < n->children.size()) {
        if (next < shownChildren.size() && shownChildren[next] == n->children[i])
          out.push_back(shownChildren[next++]);
      }
    }
    out.insert(out.end(), shownChildren.begin() + std::ptrdiff_t(next), shownChildren.end());
    return out;
  }

  // The children as the logic sees them: an in-window menu bar belongs to the application's
  // AXMenuBar, not to the window; a childless heading or list item gets its text as a child.
  std::pair<AxStatus, std::vector<NodePtr>> visibleChildren(const NodePtr& n) {
    n->renew(gen);
    // A container found empty may fill while a request waits for it (a page loading): asked
    // again a little later, it is read again.
    bool mayFill = n->kind == Node::Kind::app || n->role == ATSPI_ROLE_DOCUMENT_WEB ||
                   isWindowRole(n->role) || n->childCount > 0;
    if (n->childrenKnown && n->children.empty() && n->kind != Node::Kind::textLeaf && mayFill &&
        g_get_monotonic_time() - n->childrenAt > EMPTY_RECHECK_MICROS) {
      n->childrenKnown = false;
      n->basicsKnown = false;
    }
    if (!n->childrenKnown) {
      if (bulk && n->kind == Node::Kind::object)
        lookAhead(n.get());
      else
        childrenOf({n.get()});
    }
    if (n->childrenStatus != AxStatus::ok) return {n->childrenStatus, {}};
    if (n->kind == Node::Kind::object && isAtomic(n->role)) return {AxStatus::ok, {}};
    // Roles tell which child is a menu bar, and a menu bar comes among a window's first
    // children: the rest of a long list is read as the walk gets there, together with what waits
    // after it, not all at once before the walk takes the first.
    std::vector<Node*> first = raw(n->children);
    if (bulk && first.size() > BATCH_NODES) first.resize(BATCH_NODES);
    basics(first);
    inReadingOrder(*n);
    // What is not showing is not on the screen, nor is anything inside it (a browser's preloaded
    // tab, a notebook's other pages). An application's windows are its own matter.
    bool showing = n->kind == Node::Kind::object && toolkitOf(n->bus).showing;
    std::vector<NodePtr> out;
    for (auto& c : n->children)
      if (!(c->basicsKnown && c->role == ATSPI_ROLE_MENU_BAR) && shown(*c, showing))
        out.push_back(c);
    if (n->kind == Node::Kind::object) return {AxStatus::ok, withContentText(n, out)};
    return {AxStatus::ok, out};
  }

  ToolkitQuirks toolkitOf(const std::string& bus) {
    BusFacts& f = facts(bus);
    if (f.toolkit) return *f.toolkit;
    std::string toolkit, version;
    std::vector<Call> calls;
    for (auto [prop, out] : {std::pair{"ToolkitName", &toolkit}, std::pair{"Version", &version}})
      calls.push_back({bus, ROOT_PATH, I_PROPERTIES, "Get",
                       g_variant_new("(ss)", I_APPLICATION, prop),
                       [out = out](GVariant* r, AxStatus) {
                         if (!r) return;
                         GVariant* v = nullptr;
                         g_variant_get(r, "(v)", &v);
                         if (v && g_variant_is_of_type(v, G_VARIANT_TYPE_STRING))
                           *out = g_variant_get_string(v, nullptr);
                         if (v) g_variant_unref(v);
                       }});
    run(calls);
    // Not answering: the safe calls for now, and asked again later.
    if (toolkit.empty() && version.empty()) return atspi::quirksOf("", "");
    f.toolkit = atspi::quirksOf(toolkit, version);
    return *f.toolkit;
  }

  // GTK 3 lists the children of some containers in an order of its own, not the one a user
  // reads: a grid or table last attached first, a frame its label after its content, a header
  // bar from the right, a fixed layout in the order they were put. All of those are panels; their
  // children are put in reading order by where they are. The other toolkits list children in the
  // order of their layout.
  void inReadingOrder(Node& n) {
    if (n.childrenOrdered) return;
    n.childrenOrdered = true;
    if (n.kind != Node::Kind::object || n.role != ATSPI_ROLE_PANEL || n.children.size() < 2 ||
        !toolkitOf(n.bus).panelsByPosition)
      return;
    extents(raw(n.children));
    std::vector<std::optional<Rect>> boxes;
    for (auto& c : n.children) {
      // GTK 3 places what it does not show at the far negative corner.
      bool placed = c->extentsStatus == AxStatus::ok && c->extents.origin.x > INT32_MIN &&
                    c->extents.origin.y > INT32_MIN;
      boxes.push_back(placed ? std::optional<Rect>(c->extents) : std::nullopt);
    }
    std::vector<NodePtr> ordered;
    for (std::size_t i : atspi::readingOrder(boxes))
      ordered.push_back(n.children[i]);
    n.children = std::move(ordered);
  }

  const XDesktop* desktop() {
    if (xdesktopGen != gen) {
      xdesktop = atspi::readDesktop();
      origins.clear();
      xdesktopGen = gen;
    }
    return xdesktop ? &*xdesktop : nullptr;
  }

  // The X window of a top-level accessible: the application's window with its title, else its
  // only window.
  const XWindow* xWindowOf(Node& window) {
    const XDesktop* d = desktop();
    int owner = pidOfBus(window.bus);
    if (!d || owner <= 0) return nullptr;
    basics(&window);
    const XWindow* only = nullptr;
    int count = 0;
    for (const auto& w : d->stacking) {
      if (w.pid != owner) continue;
      if (!window.name.empty() && w.title == window.name) return &w;
      only = &w;
      ++count;
    }
    return count == 1 ? only : nullptr;
  }

  void applyExtents(Node* n, GVariant* r) {
    gint32 x = 0, y = 0, w = 0, h = 0;
    g_variant_get(r, "((iiii))", &x, &y, &w, &h);
    // What AT-SPI answers for an element without a rectangle.
    if (x == -1 && y == -1 && w == -1 && h == -1) {
      n->extentsStatus = AxStatus::noValue;
      return;
    }
    n->extents = Rect{{double(x), double(y)}, {double(w), double(h)}};
  }

  // GTK 4 gives extents relative to its window even when asked for the screen's, and so does
  // every toolkit in a Wayland client's window.
  void toScreen(Node* n) {
    if (n->extentsStatus != AxStatus::ok) return;
    bool windowExtents = toolkitOf(n->bus).windowExtents;
    if (!windowExtents && !isWayland(currentSession())) return;
    NodePtr window = n->window.lock();
    if (!window) return;
    // The window's own extents tell where its children's origin is (frame or buffer).
    if (window.get() != n && !window->extentsKnown) extents(window.get());
    const XWindow* xw = xWindowOf(*window);
    if (!xw || (!windowExtents && !xw->relative)) return;
    auto& origin = origins[xw->id];
    if (window.get() == n) {
      origin = xw->relative ? atspi::windowOrigin(*xw, int(n->extents.size.width),
                                                  int(n->extents.size.height))
                            : atspi::Origin{xw->x, xw->y};
      n->extents = Rect{{double(xw->x), double(xw->y)}, {double(xw->width), double(xw->height)}};
      return;
    }
    if (!origin) origin = atspi::Origin{xw->x, xw->y};
    n->extents.origin.x += origin->x;
    n->extents.origin.y += origin->y;
  }

  // Extents of the nodes, read together with those of every node waiting for them.
  void extents(const std::vector<Node*>& wanted) {
    std::vector<NodePtr> batch;
    for (Node* n : wanted) {
      n->renew(gen);
      if (n->extentsKnown) continue;
      if (n->kind == Node::Kind::textLeaf) {
        NodePtr parent = n->parent.lock();
        if (parent) extents(parent.get());
        n->extentsKnown = true;
        n->extentsStatus = parent ? parent->extentsStatus : AxStatus::invalidElement;
        if (parent) n->extents = parent->extents;
        continue;
      }
      n->extentsKnown = true;
      batch.push_back(n->shared_from_this());
    }
    if (batch.empty()) return;
    for (auto& p : takePending(pendingExtents, [](const Node& q) { return q.extentsKnown; })) {
      if (p->extentsKnown) continue; // waiting twice
      p->extentsKnown = true;
      batch.push_back(std::move(p));
    }
    readExtents(batch);
    settleBounds(batch);
    // Windows first: their extents place their children.
    for (auto& p : batch)
      if (p->window.lock() == p) toScreen(p.get());
    for (auto& p : batch)
      if (p->window.lock() != p) toScreen(p.get());
  }

  void readExtents(const std::vector<NodePtr>& batch) {
    std::vector<Call> calls;
    for (auto& p : batch) {
      Node* raw = p.get();
      // GTK 4 answers in window coordinates whatever is asked (and complains about the screen's).
      guint32 coords =
          toolkitOf(raw->bus).windowExtents ? ATSPI_COORD_TYPE_WINDOW : ATSPI_COORD_TYPE_SCREEN;
      calls.push_back({raw->bus, raw->path, I_COMPONENT, "GetExtents", g_variant_new("(u)", coords),
                       [this, raw](GVariant* r, AxStatus s) {
                         raw->extentsStatus = s;
                         if (r) applyExtents(raw, r);
                       }});
    }
    run(calls);
  }

  // Gecko answers (-1, -1, -1, -1) until its cache of a page's layout has come over from the
  // page's process, a moment after the first client asks: the first time, the rectangles are
  // asked again until they come (or stop changing).
  void settleBounds(const std::vector<NodePtr>& batch) {
    // Showing without a rectangle: not come yet (what is hidden may have none for good).
    std::vector<NodePtr> late;
    for (auto& p : batch)
      if (p->extentsStatus == AxStatus::noValue && (p->states & bit(ATSPI_STATE_SHOWING)))
        late.push_back(p);
    if (late.empty()) return;
    BusFacts& f = facts(late.front()->bus);
    if (!toolkitOf(late.front()->bus).boundsLate || f.boundsSettled) return;
    std::int64_t until = g_get_monotonic_time() + BOUNDS_WAIT_MICROS;
    bool came = false;
    while (!late.empty() && g_get_monotonic_time() < until) {
      g_usleep(BOUNDS_POLL_MICROS);
      readExtents(late);
      std::size_t before = late.size();
      std::erase_if(late, [](const NodePtr& p) { return p->extentsStatus != AxStatus::noValue; });
      // What came has come: the rest have no rectangle.
      if (late.size() == before && came) break;
      came = came || late.size() < before;
    }
    f.boundsSettled = true;
  }

  void extents(Node* n) { extents(std::vector<Node*>{n}); }

  // The text content (Text interface), read together with that of the waiting text nodes.
  std::string nodeText(const NodePtr& n) {
    n->renew(gen);
    if (n->kind == Node::Kind::textLeaf) return n->text;
    // A label's name is its text; an entry's, a terminal's or a paragraph's text is its content.
    if (!n->name.empty() && !atspi::textIsContent(n->role) && n->role != ATSPI_ROLE_TEXT &&
        n->role != ATSPI_ROLE_ENTRY && n->role != ATSPI_ROLE_PASSWORD_TEXT)
      return n->name;
    if (!n->textKnown) {
      n->textKnown = true;
      std::vector<NodePtr> batch{n};
      if (bulk)
        for (auto& p : takePending(pendingTexts, [](const Node& q) { return q.textKnown; })) {
          if (p->textKnown) continue; // waiting twice
          p->textKnown = true;
          batch.push_back(std::move(p));
        }
      std::vector<Call> calls;
      for (auto& p : batch) {
        Node* raw = p.get();
        // GTK 4 clamps an end of -1 ("to the end") to 0, so its entries and labels read empty;
        // it clamps an end past the text to the text's length. Others take -1 as meant.
        gint32 end = toolkitOf(raw->bus).textEndClamped ? std::numeric_limits<gint32>::max() : -1;
        calls.push_back({raw->bus, raw->path, I_TEXT, "GetText", g_variant_new("(ii)", 0, end),
                         [raw](GVariant* r, AxStatus s) {
                           raw->textStatus = s;
                           const gchar* t = nullptr;
                           if (r) g_variant_get(r, "(&s)", &t);
                           raw->rawText = t ? t : "";
                           raw->text = atspi::withoutEmbeds(raw->rawText);
                         }});
      }
      run(calls);
    }
    return n->text;
  }

  // The attributes (the placeholder), the labelling element and the help text of `n`, read
  // together with those of the nodes waiting for them. A plain client reads only the one it was
  // asked for.
  void labelFacts(Node* n, bool wantAttributes) {
    n->renew(gen);
    if (wantAttributes ? n->attributes.has_value() : n->labellingKnown && n->helpKnown) return;
    std::vector<NodePtr> batch{n->shared_from_this()};
    if (bulk)
      for (auto& p : takePending(pendingLabels, [](const Node& q) {
             return q.attributes.has_value() && q.labellingKnown && q.helpKnown;
           }))
        if (p.get() != n) batch.push_back(std::move(p));
    std::vector<Call> calls;
    for (auto& p : batch) {
      Node* raw = p.get();
      if (!raw->attributes && (bulk || wantAttributes)) {
        raw->attributes.emplace();
        calls.push_back({raw->bus, raw->path, I_ACCESSIBLE, "GetAttributes", nullptr,
                         [raw](GVariant* r, AxStatus) {
                           if (!r) return;
                           GVariantIter* it = nullptr;
                           g_variant_get(r, "(a{ss})", &it);
                           const gchar *k = nullptr, *v = nullptr;
                           while (g_variant_iter_next(it, "{&s&s}", &k, &v))
                             (*raw->attributes)[k] = v;
                           g_variant_iter_free(it);
                         }});
      }
      if (!raw->labellingKnown && (bulk || !wantAttributes)) {
        raw->labellingKnown = true;
        calls.push_back({raw->bus, raw->path, I_ACCESSIBLE, "GetRelationSet", nullptr,
                         [this, raw](GVariant* r, AxStatus) {
                           if (r) raw->labelledBy = labellingTarget(r, raw);
                         }});
      }
      if (!raw->helpKnown && (bulk || !wantAttributes)) {
        raw->helpKnown = true;
        calls.push_back({raw->bus, raw->path, I_PROPERTIES, "Get",
                         g_variant_new("(ss)", I_ACCESSIBLE, "HelpText"),
                         [raw](GVariant* r, AxStatus) {
                           GVariant* v = nullptr;
                           if (r && g_variant_is_of_type(r, G_VARIANT_TYPE("(v)")))
                             g_variant_get(r, "(v)", &v);
                           if (v && g_variant_is_of_type(v, G_VARIANT_TYPE_STRING))
                             raw->help = g_variant_get_string(v, nullptr);
                           if (v) g_variant_unref(v);
                         }});
      }
    }
    run(calls);
  }

  // The first target of the labelled-by relation in a GetRelationSet reply.
  NodePtr labellingTarget(GVariant* reply, Node* n) {
    GVariantIter* relations = nullptr;
    g_variant_get(reply, "(a(ua(so)))", &relations);
    guint32 type = 0;
    GVariantIter* targets = nullptr;
    NodePtr found;
    while (!found && g_variant_iter_next(relations, "(ua(so))", &type, &targets)) {
      const gchar *bus = nullptr, *path = nullptr;
      while (!found && g_variant_iter_next(targets, "(&s&o)", &bus, &path))
        if (type == ATSPI_RELATION_LABELLED_BY && std::string_view(path) != NULL_PATH &&
            !(bus == n->bus && path == n->path))
          found = intern(bus, path, Node::Kind::object);
      g_variant_iter_free(targets);
    }
    g_variant_iter_free(relations);
    if (found && found->window.expired()) found->window = n->window;
    return found;
  }

  // ---- applications ----

  int pidOfBus(const std::string& bus) {
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

  // The application registered on the accessibility bus by this process, or none.
  NodePtr appForPid(int pid) {
    if (pid <= 0) return nullptr;
    NodePtr registry = intern(REGISTRY, ROOT_PATH, Node::Kind::app);
    registry->childrenKnown = false;
    registry->children.clear();
    childrenOf({registry.get()});
    for (auto& child : registry->children)
      if (pidOfBus(child->bus) == pid) {
        NodePtr app = intern(child->bus, ROOT_PATH, Node::Kind::app);
        return app;
      }
    return nullptr;
  }

  NodePtr frontApp() {
    const XDesktop* d = desktop();
    if (!d || !d->active) return nullptr;
    for (const auto& w : d->stacking)
      if (w.id == *d->active) return appForPid(w.pid);
    return nullptr;
  }

  std::vector<NodePtr> windowsOf(const NodePtr& app) {
    auto [status, children] = visibleChildren(app);
    std::vector<NodePtr> windows;
    // An application's children are its windows: GTK 4.8 tells its file chooser dialog as a
    // filler.
    for (auto& c : children)
      if (isWindowRole(c->role) || c->role == ATSPI_ROLE_FILLER) windows.push_back(c);
    return windows;
  }

  NodePtr focusedWindow(const NodePtr& app) {
    for (auto& w : windowsOf(app))
      if (w->states & bit(ATSPI_STATE_ACTIVE)) return w;
    // A window that the window manager says is active, when the toolkit does not say so itself.
    const XDesktop* d = desktop();
    if (d && d->active)
      for (const auto& xw : d->stacking)
        if (xw.id == *d->active && xw.pid == pidOfBus(app->bus))
          for (auto& w : windowsOf(app))
            if (w->name == xw.title) return w;
    return nullptr;
  }

  NodePtr mainWindow(const NodePtr& app) {
    auto windows = windowsOf(app);
    for (auto& w : windows)
      if (w->states & (bit(ATSPI_STATE_SHOWING) | bit(ATSPI_STATE_VISIBLE))) return w;
    return windows.empty() ? nullptr : windows.front();
  }

  // Depth-first search below `root` (raw children, menu bars included) for the first node that
  // `match` accepts.
  NodePtr search(const NodePtr& root, const std::function<bool(const Node&)>& match,
                 std::size_t limit = SEARCH_NODES, int maxDepth = SEARCH_DEPTH) {
    std::vector<std::pair<NodePtr, int>> stack{{root, 0}};
    std::size_t seen = 0;
    // It runs before the walk's own budget starts: keep it well inside that budget.
    std::int64_t until = g_get_monotonic_time() + SEARCH_MICROS;
    while (!stack.empty() && seen++ < limit && g_get_monotonic_time() < until) {
      auto [n, depth] = std::move(stack.back());
      stack.pop_back();
      n->renew(gen); // a search that waits for a change reads it anew
      if (n != root && match(*n)) return n;
      if (depth >= maxDepth || facts(n->bus).unresponsive) continue;
      if (!n->childrenKnown) {
        if (bulk)
          lookAhead(n.get());
        else
          childrenOf({n.get()});
      }
      basics(raw(n->children));
      for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
        stack.emplace_back(*it, depth + 1);
    }
    return nullptr;
  }

  NodePtr focusedElement(const NodePtr& app) {
    NodePtr window = focusedWindow(app);
    if (!window) window = mainWindow(app);
    if (!window) return nullptr;
    // The toolkits with the Collection interface find it themselves, in one call.
    if (toolkitOf(window->bus).collection) {
      auto [status, found] = firstFocused(window);
      if (status == AxStatus::ok) return found;
    }
    return search(window, [](const Node& n) { return n.states & bit(ATSPI_STATE_FOCUSED); });
  }

  // Where the keys go, as far as the guard before typing must assume. A toolkit can take keys
  // before it tells the focus (Qt sets its focused state only once its window has seen the focus
  // event): a window that tells no focus while it shows a password field may have the keys in
  // that field.
  NodePtr keyboardFocus(const NodePtr& app) {
    if (NodePtr found = focusedElement(app)) return found;
    NodePtr window = focusedWindow(app);
    if (!window) window = mainWindow(app);
    if (!window) return nullptr;
    NodePtr password = search(window, [](const Node& n) {
      return n.role == ATSPI_ROLE_PASSWORD_TEXT && (n.states & bit(ATSPI_STATE_SHOWING));
    });
    // Any toolkit tells a new focus a moment late on a loaded machine (GTK 3 right after a click
    // into its text view): asked again for a while before the password field is taken for it.
    std::int64_t until = g_get_monotonic_time() + FOCUS_WAIT_MICROS;
    while (password && g_get_monotonic_time() < until) {
      g_usleep(FOCUS_POLL_MICROS);
      newRequest();
      if (NodePtr found = focusedElement(app)) return found;
    }
    return password;
  }

  // Collection.GetMatches for the first descendant with the focused state.
  std::pair<AxStatus, NodePtr> firstFocused(const NodePtr& window) {
    constexpr gint32 MATCH_ALL = 1, SORT_CANONICAL = 1;
    GVariantBuilder states, attributes, roles, interfaces;
    g_variant_builder_init(&states, G_VARIANT_TYPE("ai"));
    std::uint64_t focused = bit(ATSPI_STATE_FOCUSED);
    g_variant_builder_add(&states, "i", static_cast<gint32>(focused & 0xffffffff));
    g_variant_builder_add(&states, "i", static_cast<gint32>(focused >> 32));
    g_variant_builder_init(&attributes, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_init(&roles, G_VARIANT_TYPE("ai"));
    g_variant_builder_init(&interfaces, G_VARIANT_TYPE("as"));
    GVariant* params =
        g_variant_new("((aiia{ss}iaiiasib)uib)", &states, MATCH_ALL, &attributes, MATCH_ALL, &roles,
                      MATCH_ALL, &interfaces, MATCH_ALL, FALSE, SORT_CANONICAL, 1, TRUE);
    AxStatus status = AxStatus::failure;
    NodePtr found;
    runOne({window->bus, window->path, "org.a11y.atspi.Collection", "GetMatches", params,
            [&](GVariant* r, AxStatus s) {
              status = s;
              if (!r) return;
              GVariantIter* it = nullptr;
              g_variant_get(r, "(a(so))", &it);
              const gchar *bus = nullptr, *path = nullptr;
              if (g_variant_iter_next(it, "(&s&o)", &bus, &path) &&
                  std::string_view(path) != NULL_PATH)
                found = intern(bus, path, Node::Kind::object);
              g_variant_iter_free(it);
            }});
    if (found) {
      found->window = window;
      basics(found.get());
    }
    return {status, found};
  }

  NodePtr menuBar(const NodePtr& app) {
    NodePtr window = focusedWindow(app);
    if (!window) window = mainWindow(app);
    if (!window) return nullptr;
    // A menu bar sits near the top of its window: no need to search a whole page for one.
    return search(
        window, [](const Node& n) { return n.role == ATSPI_ROLE_MENU_BAR; }, MENU_BAR_SEARCH_NODES,
        MENU_BAR_SEARCH_DEPTH);
  }

  // ---- attributes ----

  AxResult<AttrValue> fail(AxStatus s) { return {s == AxStatus::ok ? AxStatus::noValue : s, {}}; }
  // Out of line: inlined into its many callers, GCC 12 with the sanitizers reports moves out of
  // variants as reads of uninitialised memory.
  [[gnu::noinline]] static AxResult<AttrValue> ok(AttrValue v) {
    return {AxStatus::ok, std::move(v)};
  }

  AxResult<AttrValue> elementOr(const NodePtr& n) {
    if (!n) return {AxStatus::noValue, {}};
    return ok(element(n));
  }

  AxResult<AttrValue> systemWideAttribute(std::string_view name) {
    if (name == "AXRole") return ok(std::string("AXSystemWide"));
    if (name == "AXFocusedApplication") return elementOr(frontApp());
    if (name == "AXFocusedUIElement") {
      NodePtr app = frontApp();
      return app ? elementOr(keyboardFocus(app)) : AxResult<AttrValue>{AxStatus::noValue, {}};
    }
    return {AxStatus::attributeUnsupported, {}};
  }

  AxResult<AttrValue> appAttribute(const NodePtr& app, std::string_view name) {
    if (app->bus.empty()) return {AxStatus::invalidElement, {}};
    if (name == "AXRole") return ok(std::string("AXApplication"));
    if (name == "AXFocusedWindow") return elementOr(focusedWindow(app));
    if (name == "AXMainWindow") return elementOr(mainWindow(app));
    if (name == "AXFocusedUIElement") return elementOr(focusedElement(app));
    if (name == "AXMenuBar") return elementOr(menuBar(app));
    if (name == "AXChildren" || name == "AXWindows") {
      auto [status, children] = visibleChildren(app);
      if (status != AxStatus::ok) return fail(status);
      std::vector<Element> out;
      for (auto& c : children)
        out.push_back(element(c));
      return ok(std::move(out));
    }
    return {AxStatus::attributeUnsupported, {}};
  }

  AxResult<AttrValue> objectAttribute(const NodePtr& n, std::string_view name) {
    if (n->kind == Node::Kind::textLeaf) {
      if (name == "AXRole") return ok(std::string("AXStaticText"));
      if (name == "AXValue") return ok(nodeText(n));
      if (name == "AXChildren") return ok(std::vector<Element>{});
      if (name == "AXEnabled") return ok(true);
      if (name == "AXPosition" || name == "AXSize") {
        extents(n.get());
        if (n->extentsStatus != AxStatus::ok) return fail(n->extentsStatus);
        if (name == "AXPosition") return ok(n->extents.origin);
        return ok(n->extents.size);
      }
      return {AxStatus::noValue, {}};
    }
    basics(n.get());
    if (n->basicsStatus != AxStatus::ok) return fail(n->basicsStatus);
    auto roleName = atspi::roleName(n->role, n->states, n->parentRole);
    if (name == "AXRole") return ok(std::string(roleName.role));
    if (name == "AXSubrole") {
      if (!roleName.subrole) return {AxStatus::noValue, {}};
      return ok(std::string(*roleName.subrole));
    }
    if (name == "AXTitle") {
      if (n->name.empty()) return {AxStatus::noValue, {}};
      return ok(n->name);
    }
    if (name == "AXDescription") {
      if (n->description.empty()) return {AxStatus::noValue, {}};
      return ok(n->description);
    }
    if (name == "AXEnabled")
      return ok(bool(n->states & (bit(ATSPI_STATE_ENABLED) | bit(ATSPI_STATE_SENSITIVE))));
    if (name == "AXFocused") return ok(bool(n->states & bit(ATSPI_STATE_FOCUSED)));
    if (name == "AXHelp") {
      if (!n->helpKnown) labelFacts(n.get(), false);
      if (n->help.empty()) return {AxStatus::noValue, {}};
      return ok(n->help);
    }
    if (name == "AXTitleUIElement") {
      labelFacts(n.get(), false);
      return elementOr(n->labelledBy);
    }
    if (name == "AXPlaceholderValue") {
      labelFacts(n.get(), true);
      auto at = n->attributes->find("placeholder-text");
      if (at == n->attributes->end() || at->second.empty()) return {AxStatus::noValue, {}};
      return ok(at->second);
    }
    if (name == "AXChildren") {
      auto [status, children] = visibleChildren(n);
      if (status != AxStatus::ok) return fail(status);
      std::vector<Element> out;
      out.reserve(children.size());
      for (auto& c : children)
        out.push_back(element(c));
      return ok(std::move(out));
    }
    if (name == "AXPosition" || name == "AXSize") {
      extents(n.get());
      if (n->extentsStatus != AxStatus::ok) return fail(n->extentsStatus);
      if (name == "AXPosition") return ok(n->extents.origin);
      return ok(n->extents.size);
    }
    if (name == "AXValue") {
      if (n->role == ATSPI_ROLE_PASSWORD_TEXT) return {AxStatus::noValue, {}};
      if (isCheckable(n->role)) return ok(n->states & bit(ATSPI_STATE_CHECKED) ? 1.0 : 0.0);
      if (isValueRole(n->role)) {
        if (!n->valueKnown) {
          n->valueKnown = true;
          runOne({n->bus, n->path, I_PROPERTIES, "Get",
                  g_variant_new("(ss)", I_VALUE, "CurrentValue"), [n](GVariant* r, AxStatus s) {
                    n->valueStatus = s;
                    if (!r) return;
                    GVariant* v = nullptr;
                    g_variant_get(r, "(v)", &v);
                    if (v && g_variant_is_of_type(v, G_VARIANT_TYPE_DOUBLE))
                      n->value = g_variant_get_double(v);
                    else
                      n->valueStatus = AxStatus::noValue;
                    if (v) g_variant_unref(v);
                  }});
        }
        if (n->valueStatus != AxStatus::ok) return fail(n->valueStatus);
        return ok(n->value);
      }
      if (isTextRole(n->role) && n->role != ATSPI_ROLE_HEADING && n->role != ATSPI_ROLE_LIST_ITEM) {
        std::string t = nodeText(n);
        if (n->textKnown && n->textStatus != AxStatus::ok) return fail(n->textStatus);
        return ok(std::move(t));
      }
      return {AxStatus::noValue, {}};
    }
    if (name == "AXParent") return elementOr(n->parent.lock());
    return {AxStatus::attributeUnsupported, {}};
  }

  // Chromium builds its accessibility tree on Linux once a client asks a window for its
  // children: the first answer is the null object, the tree follows a moment later. Asking is
  // what wakes it; waiting here keeps the first request from reading an empty window.
  AxStatus wake(const NodePtr& app) {
    if (app->bus.empty()) return AxStatus::invalidElement;
    std::int64_t until = g_get_monotonic_time() + WAKE_WAIT_MICROS;
    for (;;) {
      bool asleep = false;
      for (auto& w : windowsOf(app)) {
        w->renew(gen);
        if (!w->basicsKnown) basics(w.get());
        if (w->childCount == 0 || facts(w->bus).unresponsive) continue;
        if (!w->childrenKnown) childrenOf({w.get()});
        if (w->children.empty() && w->childrenStatus == AxStatus::ok) asleep = true;
      }
      if (!asleep || g_get_monotonic_time() >= until) {
        awaitLayout(app);
        return AxStatus::ok;
      }
      g_usleep(WAKE_POLL_MICROS);
      for (auto& w : windowsOf(app)) {
        w->childrenKnown = false;
        w->basicsKnown = false;
      }
    }
  }

  // Before the first walk of a toolkit whose layout comes late (Gecko): waits, outside the walk's
  // budget, until the showing document of the front window has a rectangle.
  void awaitLayout(const NodePtr& app) {
    BusFacts& f = facts(app->bus);
    if (f.boundsSettled || f.unresponsive || !toolkitOf(app->bus).boundsLate) return;
    NodePtr window = focusedWindow(app);
    if (!window) window = mainWindow(app);
    if (!window) return;
    auto showingDocument = [](const Node& n) {
      return n.role == ATSPI_ROLE_DOCUMENT_WEB && (n.states & bit(ATSPI_STATE_SHOWING));
    };
    std::int64_t until = g_get_monotonic_time() + LAYOUT_WAIT_MICROS;
    // A browser just woken may not have put its page into the tree yet (on a loaded machine that
    // comes a while after the window's own controls), and a woken Chromium replaces an empty
    // document with the page's own a moment after; the document's content's states, names and
    // rectangles come later still, a part at a time (until then it is not showing). Everything is
    // read anew at each look, until the document has parts, those that show have a rectangle and no
    // more of them came since the last look.
    std::size_t shownBefore = 0;
    for (;;) {
      if (NodePtr document = search(window, showingDocument)) {
        document->childrenKnown = false;
        document->children.clear();
        childrenOf({document.get()});
        for (auto& c : document->children)
          c->basicsKnown = false;
        basics(raw(document->children));
        std::vector<NodePtr> shownParts;
        for (auto& c : document->children)
          if (c->states & bit(ATSPI_STATE_SHOWING)) shownParts.push_back(c);
        readExtents(shownParts);
        bool placed = !shownParts.empty() &&
                      std::all_of(shownParts.begin(), shownParts.end(),
                                  [](auto& c) { return c->extentsStatus != AxStatus::noValue; });
        if (placed && shownParts.size() == shownBefore) break;
        shownBefore = shownParts.size();
      }
      // A page that never shows anything is not waited for again.
      if (g_get_monotonic_time() >= until) break;
      g_usleep(BOUNDS_POLL_MICROS);
      newRequest();
    }
    f.boundsSettled = true;
  }

  // ---- hit-testing ----

  AxResult<Element> hitTest(double x, double y) {
    const XDesktop* d = desktop();
    if (!d) return {AxStatus::failure, {}};
    const XWindow* top = nullptr;
    for (auto it = d->stacking.rbegin(); it != d->stacking.rend(); ++it)
      if (!it->hidden && x >= it->x && y >= it->y && x < it->x + it->width &&
          y < it->y + it->height) {
        top = &*it;
        break;
      }
    if (!top) return {AxStatus::noValue, {}};
    NodePtr app = appForPid(top->pid);
    if (!app) return {AxStatus::noValue, {}};
    auto inside = [&](Node& n) {
      extents(&n);
      const Rect& r = n.extents;
      return n.extentsStatus == AxStatus::ok && r.size.width > 0 && r.size.height > 0 &&
             x >= r.origin.x && y >= r.origin.y && x < r.origin.x + r.size.width &&
             y < r.origin.y + r.size.height;
    };
    NodePtr current;
    for (auto& w : windowsOf(app))
      if (w->name == top->title) current = w;
    if (!current)
      for (auto& w : windowsOf(app))
        if (inside(*w)) current = w;
    if (!current) return {AxStatus::noValue, {}};
    bool showing = toolkitOf(app->bus).showing;
    for (int depth = 0; depth < SEARCH_DEPTH && !stopsHitTest(current->role); ++depth) {
      if (!current->childrenKnown) childrenOf({current.get()});
      basics(raw(current->children));
      // The children as the walk sees them; the last that holds the point is on top (an overlay
      // comes after what it covers in reading order as well).
      inReadingOrder(*current);
      for (auto& c : current->children)
        if (!c->extentsKnown) pendingExtents.push_back(c);
      NodePtr next;
      for (auto it = current->children.rbegin(); it != current->children.rend() && !next; ++it) {
        Node& c = **it;
        if (!shown(c, showing)) continue;
        if (inside(c)) next = *it;
      }
      if (!next) break;
      current = next;
    }
    return {AxStatus::ok, element(current)};
  }
};

AtspiAccessibility::AtspiAccessibility(bool bulk) : impl_(std::make_unique<Impl>()) {
  impl_->bulk = bulk;
}

AtspiAccessibility::~AtspiAccessibility() = default;

bool AtspiAccessibility::isTrusted() {
  // On GNOME the screen is read through the shell's window list as well (our extension).
  return impl_->trusted() &&
         (currentSession() != SessionKind::gnome || gnome::windowsReadable(false));
}

bool AtspiAccessibility::isTrustedWithPrompt() {
  // What the desktop's accessibility switch does: the session's status says enabled. The screen
  // reader setting is never touched (it starts a talking screen reader).
  if (impl_->statusEnabled() == false)
    if (GVariant* r = impl_->sessionCall(
            I_PROPERTIES, "Set",
            g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE))))
      g_variant_unref(r);
  // Asking for accessibility on GNOME installs and enables the extension that lists the windows.
  bool windows = currentSession() != SessionKind::gnome || gnome::windowsReadable(true);
  return impl_->trusted() && windows;
}

Element AtspiAccessibility::systemWide() {
  // Each request begins at the system-wide or an application element: facts read before are
  // forgotten.
  impl_->newRequest();
  if (!impl_->systemWideNode) {
    impl_->systemWideNode = std::make_shared<Node>();
    impl_->systemWideNode->kind = Node::Kind::systemWide;
  }
  return Impl::element(impl_->systemWideNode);
}

Element AtspiAccessibility::application(int pid) {
  impl_->newRequest();
  if (NodePtr app = impl_->appForPid(pid)) return Impl::element(app);
  // No such application on the bus: an element whose every read fails.
  return Impl::element(impl_->intern("", "pid:" + std::to_string(pid), Node::Kind::app));
}

void AtspiAccessibility::setMessagingTimeout(const Element& app, float seconds) {
  if (!app) return;
  int ms = std::isfinite(seconds) && seconds > 0 ? static_cast<int>(std::lround(seconds * 1000))
                                                 : DEFAULT_TIMEOUT_MS;
  Node& n = Impl::of(app);
  // The system-wide element is no application: its reads go to the front one, with its timeout.
  if (n.kind != Node::Kind::systemWide && !n.bus.empty()) impl_->facts(n.bus).timeoutMs = ms;
}

AxResult<AttrValue> AtspiAccessibility::copyAttribute(const Element& element,
                                                      std::string_view name) {
  if (!element) return {AxStatus::invalidElement, {}};
  NodePtr n = Impl::ptr(element);
  switch (n->kind) {
  case Node::Kind::systemWide:
    return impl_->systemWideAttribute(name);
  case Node::Kind::app:
    return impl_->appAttribute(n, name);
  default:
    return impl_->objectAttribute(n, name);
  }
}

AxStatus AtspiAccessibility::setAttribute(const Element& element, std::string_view name,
                                          const AttrValue& value) {
  if (!element || Impl::of(element).kind != Node::Kind::app) return AxStatus::failure;
  if (name != "AXManualAccessibility" && name != "AXEnhancedUserInterface")
    return AxStatus::attributeUnsupported;
  if (value != AttrValue{true}) return AxStatus::ok;
  return impl_->wake(Impl::ptr(element));
}

AxResult<Element> AtspiAccessibility::elementAtPosition(const Element& systemWide, float x,
                                                        float y) {
  if (!systemWide || Impl::of(systemWide).kind != Node::Kind::systemWide)
    return {AxStatus::failure, {}};
  return impl_->hitTest(x, y);
}

AxResult<int> AtspiAccessibility::pid(const Element& element) {
  if (!element) return {AxStatus::invalidElement, {}};
  Node& n = Impl::of(element);
  if (n.kind == Node::Kind::systemWide || n.bus.empty()) return {AxStatus::failure, {}};
  int pid = impl_->pidOfBus(n.bus);
  if (pid <= 0) return {AxStatus::invalidElement, {}};
  return {AxStatus::ok, pid};
}

AtspiCounters AtspiAccessibility::counters() const {
  return impl_->counters;
}

} // namespace plenk
