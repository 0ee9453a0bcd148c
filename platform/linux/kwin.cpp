#include "platform/linux/kwin.hpp"

#include "platform/linux/gnome_shell.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gio/gio.h>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace plenk::kwin {

namespace {

constexpr const char* KWIN_NAME = "org.kde.KWin";
constexpr const char* ANSWER_PATH = "/org/plenk/Hands/KWin";
constexpr const char* ANSWER_IFACE = "org.plenk.Hands.KWin";
constexpr const char* ANSWER_METHOD = "Answer";
constexpr int CALL_TIMEOUT_MS = 1000;
constexpr auto ANSWER_WAIT = std::chrono::milliseconds(1000);

// KWin 5 names the window list clientList and the focus activeClient, KWin 6 windowList and
// activeWindow; KWin 5 lists windows as they came and tells each one's place in the stacking
// order, KWin 6 lists them bottom to top.
constexpr const char* SCRIPT = R"js((function () {
  var raise = %RAISE%;
  var all = workspace.stackingOrder ||
      (workspace.windowList ? workspace.windowList() : workspace.clientList()).slice().sort(
          function (a, b) { return (a.stackingOrder || 0) - (b.stackingOrder || 0); });
  var six = workspace.activeWindow !== undefined;
  var active = six ? workspace.activeWindow : workspace.activeClient;
  var rect = function (r) {
    return r ? [Math.round(r.x), Math.round(r.y), Math.round(r.width), Math.round(r.height)] : [];
  };
  var out = [], raised = false;
  for (var i = 0; i < all.length; ++i) {
    var w = all[i];
    if (!w || !(w.normalWindow || w.dialog) || w.skipTaskbar) continue;
    var id = String(w.internalId);
    if (raise) {
      if (id === raise) {
        if (w.minimized) w.minimized = false;
        if (six) workspace.activeWindow = w; else workspace.activeClient = w;
        raised = true;
      }
      continue;
    }
    var x11 = typeof w.windowId === 'number' && w.windowId > 0;
    out.push({uuid: id, pid: w.pid || 0, title: w.caption || '', wmClass: w.resourceClass || '',
              wmInstance: w.resourceName || '', appId: w.desktopFileName || '', x11: x11,
              frame: rect(w.frameGeometry), buffer: rect(w.bufferGeometry || w.frameGeometry),
              focused: w === active, visible: !w.minimized});
  }
  callDBus(%SERVICE%, '%PATH%', '%IFACE%', '%METHOD%', %TOKEN%,
           raise ? String(raised) : JSON.stringify(out));
})();
)js";

std::string replaced(std::string text, std::string_view key, const std::string& value) {
  for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
    text.replace(at, key.size(), value);
  return text;
}

// A JavaScript string literal of any text.
std::string literal(const std::string& text) {
  return nlohmann::json(text).dump();
}

// One plain call on the session bus; the answer (to unref) or none.
GVariant* call(GDBusConnection* bus, const char* name, const std::string& path, const char* iface,
               const char* method, GVariant* args, const char* type) {
  return g_dbus_connection_call_sync(
      bus, name, path.c_str(), iface, method, args, type ? G_VARIANT_TYPE(type) : nullptr,
      G_DBUS_CALL_FLAGS_NO_AUTO_START, CALL_TIMEOUT_MS, nullptr, nullptr);
}

std::string ownerOf(GDBusConnection* bus, const char* name) {
  GVariant* r = call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                     "GetNameOwner", g_variant_new("(s)", name), "(s)");
  if (!r) return "";
  const char* owner = nullptr;
  g_variant_get(r, "(&s)", &owner);
  std::string out = owner ? owner : "";
  g_variant_unref(r);
  return out;
}

// plenk-hands' own connection, which takes the scripts' answers: a filter sees each call before
// any dispatch (no main loop runs here), keeps KWin's answers and replies to them.
struct Answers {
  std::mutex asking; // one question at a time
  std::mutex lock;   // what the filter shares
  std::condition_variable arrived;
  GDBusConnection* bus = nullptr;
  std::string kwin; // KWin's unique name: no one else may answer
  std::map<std::string, std::string> byToken;
  std::uint64_t next = 1;
  std::map<std::string, long> ids; // KWin's window UUIDs, numbered
  std::map<long, std::string> uuids;

  static GDBusMessage* filter(GDBusConnection* connection, GDBusMessage* message, gboolean incoming,
                              gpointer data) {
    if (!incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL ||
        g_strcmp0(g_dbus_message_get_path(message), ANSWER_PATH) != 0)
      return message;
    auto* self = static_cast<Answers*>(data);
    GVariant* body = g_dbus_message_get_body(message);
    const char* sender = g_dbus_message_get_sender(message);
    {
      std::lock_guard guard(self->lock);
      if (body && sender && self->kwin == sender &&
          g_variant_is_of_type(body, G_VARIANT_TYPE("(ss)")) &&
          g_strcmp0(g_dbus_message_get_member(message), ANSWER_METHOD) == 0) {
        const char *token = nullptr, *text = nullptr;
        g_variant_get(body, "(&s&s)", &token, &text);
        self->byToken[token] = text;
        self->arrived.notify_all();
      }
    }
    GDBusMessage* reply = g_dbus_message_new_method_reply(message);
    g_dbus_connection_send_message(connection, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr,
                                   nullptr);
    g_object_unref(reply);
    g_object_unref(message);
    return nullptr;
  }

  // A connection of our own, made once (again after the bus went away).
  bool connect() {
    if (bus && !g_dbus_connection_is_closed(bus)) return true;
    if (bus) g_object_unref(bus);
    bus = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!address) return false;
    bus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    g_free(address);
    if (!bus) return false;
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    g_dbus_connection_add_filter(bus, &Answers::filter, this, nullptr);
    return true;
  }

  // Runs one script in KWin and answers what it sent back.
  std::optional<std::string> ask(const std::string& raise) {
    std::lock_guard one(asking);
    if (!connect()) return std::nullopt;
    std::string owner = ownerOf(bus, KWIN_NAME);
    if (owner.empty()) return std::nullopt;
    std::unique_lock guard(lock);
    kwin = owner;
    std::string token = std::to_string(::getpid()) + "-" + std::to_string(next++);
    std::filesystem::path file =
        std::filesystem::path(g_get_user_runtime_dir()) / ("plenk-hands-kwin-" + token + ".js");
    {
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      out << script(g_dbus_connection_get_unique_name(bus), token, raise);
      if (!out.flush()) return std::nullopt;
    }
    std::string plugin = "plenk-hands-" + token;
    guard.unlock();
    std::optional<std::string> answer;
    if (GVariant* r = call(bus, KWIN_NAME, "/Scripting", "org.kde.kwin.Scripting", "loadScript",
                           g_variant_new("(ss)", file.c_str(), plugin.c_str()), "(i)")) {
      int id = -1;
      g_variant_get(r, "(i)", &id);
      g_variant_unref(r);
      // KWin 6 puts a script's object under /Scripting, KWin 5 at the root.
      bool ran = false;
      for (const std::string& path :
           {"/Scripting/Script" + std::to_string(id), "/" + std::to_string(id)}) {
        if (id < 0 || ran) break;
        if (GVariant* done =
                call(bus, KWIN_NAME, path, "org.kde.kwin.Script", "run", nullptr, nullptr)) {
          g_variant_unref(done);
          ran = true;
        }
      }
      guard.lock();
      if (ran && arrived.wait_for(guard, ANSWER_WAIT, [&] { return byToken.count(token); }))
        answer = byToken[token];
      byToken.erase(token);
      guard.unlock();
      if (GVariant* gone = call(bus, KWIN_NAME, "/Scripting", "org.kde.kwin.Scripting",
                                "unloadScript", g_variant_new("(s)", plugin.c_str()), "(b)"))
        g_variant_unref(gone);
    }
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return answer;
  }

  long idOf(const std::string& uuid) {
    auto [it, added] = ids.emplace(uuid, static_cast<long>(ids.size() + 1));
    if (added) uuids[it->second] = uuid;
    return it->second;
  }
};

Answers& answers() {
  static Answers* a = new Answers; // used by platform threads until the process ends
  return *a;
}

} // namespace

bool onTheBus() {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus) return false;
  bool owned = !ownerOf(bus, KWIN_NAME).empty();
  g_object_unref(bus);
  return owned;
}

std::string script(const std::string& service, const std::string& token, const std::string& raise) {
  std::string text = SCRIPT;
  text = replaced(text, "%RAISE%", literal(raise));
  text = replaced(text, "%SERVICE%", literal(service));
  text = replaced(text, "%TOKEN%", literal(token));
  text = replaced(text, "%PATH%", ANSWER_PATH);
  text = replaced(text, "%IFACE%", ANSWER_IFACE);
  return replaced(text, "%METHOD%", ANSWER_METHOD);
}

std::optional<std::vector<Window>> parseWindows(std::string_view json) {
  auto j = nlohmann::json::parse(json, nullptr, false);
  if (!j.is_array()) return std::nullopt;
  auto& a = answers();
  {
    std::lock_guard guard(a.lock);
    for (auto& w : j)
      if (w.is_object()) {
        auto uuid = w.find("uuid");
        if (uuid != w.end() && uuid->is_string())
          w["id"] = a.idOf(uuid->get<std::string>());
        else
          w.erase("id");
      }
  }
  // The same facts as GNOME Shell's extension gives, in the same form.
  return gnome::parseWindows(j.dump());
}

std::optional<std::vector<Window>> windows() {
  auto answer = answers().ask("");
  if (!answer) return std::nullopt;
  return parseWindows(*answer);
}

bool activate(long id) {
  auto& a = answers();
  std::string uuid;
  {
    std::lock_guard guard(a.lock);
    auto it = a.uuids.find(id);
    if (it == a.uuids.end()) return false;
    uuid = it->second;
  }
  return a.ask(uuid) == "true";
}

std::string inputEntry(const std::string& executable) {
  // Exec is split as a command line: a path with spaces is quoted.
  std::string exec = executable;
  if (exec.find_first_of(" \t\"'\\$`") != std::string::npos)
    exec = "\"" + replaced(replaced(exec, "\\", "\\\\"), "\"", "\\\"") + "\"";
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=plenk-hands\n"
         "Comment=Clicks and types for the desktop assistant\n"
         "Exec=" +
         exec +
         "\n"
         "NoDisplay=true\n"
         "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n";
}

std::string inputEntryPath(const std::string& executable) {
  // One entry per executable, named by its path (FNV-1a), so that two installs never share one.
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : executable)
    hash = (hash ^ c) * 1099511628211ull;
  char name[64];
  std::snprintf(name, sizeof name, "plenk-hands-input-%016llx.desktop",
                static_cast<unsigned long long>(hash));
  return (std::filesystem::path(g_get_user_data_dir()) / "applications" / name).string();
}

std::string ownExecutable() {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? "" : path.string();
}

std::string installInputEntry() {
  std::string executable = ownExecutable();
  if (executable.empty()) return "plenk-hands cannot tell its own path.";
  std::string text = inputEntry(executable), path = inputEntryPath(executable);
  {
    std::ifstream in(path, std::ios::binary);
    std::string now((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (now == text) return "";
  }
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) return "The desktop entry " + path + " could not be written.";
  return "";
}

} // namespace plenk::kwin
