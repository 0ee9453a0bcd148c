#include "platform/linux/gnome_shell.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gio/gio.h>
#include <mutex>
#include <nlohmann/json.hpp>

namespace plenk::gnome {

namespace {

constexpr const char* SHELL_NAME = "org.gnome.Shell";
constexpr const char* WINDOWS_PATH = "/org/plenk/Hands/Windows";
constexpr const char* WINDOWS_IFACE = "org.plenk.Hands.Windows";
constexpr int CALL_TIMEOUT_MS = 1000;

struct ExtensionFile {
  int version;
  const char* name;
  const char* text;
};
constexpr ExtensionFile FILES[] = {
#include "extension_files.inc"
};

// The answer of one call to the shell, or none.
GVariant* callShell(const char* path, const char* iface, const char* method, GVariant* args,
                    const char* type) {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus) {
    if (args) g_variant_unref(g_variant_ref_sink(args));
    return nullptr;
  }
  GVariant* r = g_dbus_connection_call_sync(bus, SHELL_NAME, path, iface, method, args,
                                            G_VARIANT_TYPE(type), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                            CALL_TIMEOUT_MS, nullptr, nullptr);
  g_object_unref(bus);
  return r;
}

std::filesystem::path userExtensions() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::filesystem::path base = data && *data
                                   ? std::filesystem::path(data)
                                   : std::filesystem::path(g_get_home_dir()) / ".local/share";
  return base / "gnome-shell/extensions";
}

bool installed() {
  std::error_code ec;
  if (std::filesystem::exists(userExtensions() / EXTENSION_UUID / "metadata.json", ec)) return true;
  for (const gchar* const* dir = g_get_system_data_dirs(); *dir; ++dir)
    if (std::filesystem::exists(std::filesystem::path(*dir) / "gnome-shell/extensions" /
                                    EXTENSION_UUID / "metadata.json",
                                ec))
      return true;
  return false;
}

// The shell's settings, or none where its schema is not installed (no GNOME here).
GSettings* shellSettings() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return nullptr;
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.shell", TRUE);
  if (!schema) return nullptr;
  g_settings_schema_unref(schema);
  return g_settings_new("org.gnome.shell");
}

bool listed(GSettings* settings, const char* key) {
  gchar** names = g_settings_get_strv(settings, key);
  bool found = false;
  for (gchar** n = names; n && *n; ++n)
    found = found || std::string_view(*n) == EXTENSION_UUID;
  g_strfreev(names);
  return found;
}

bool enabled() {
  GSettings* settings = shellSettings();
  if (!settings) return false;
  bool on = listed(settings, "enabled-extensions") && !listed(settings, "disabled-extensions") &&
            !g_settings_get_boolean(settings, "disable-user-extensions");
  g_object_unref(settings);
  return on;
}

// The running shell's major version ("43.9" gives 43), 0 when no shell answers.
int shellMajor() {
  GVariant* r = callShell("/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Get",
                          g_variant_new("(ss)", SHELL_NAME, "ShellVersion"), "(v)");
  if (!r) return 0;
  GVariant* v = nullptr;
  g_variant_get(r, "(v)", &v);
  int major = g_variant_is_of_type(v, G_VARIANT_TYPE_STRING)
                  ? std::atoi(g_variant_get_string(v, nullptr))
                  : 0;
  g_variant_unref(v);
  g_variant_unref(r);
  return major;
}

} // namespace

std::optional<std::vector<Window>> parseWindows(std::string_view answer) {
  auto j = nlohmann::json::parse(answer, nullptr, false);
  if (!j.is_array()) return std::nullopt;
  auto box = [](const nlohmann::json& r) {
    sway::Box b;
    if (r.is_array() && r.size() == 4 && r[0].is_number() && r[1].is_number() && r[2].is_number() &&
        r[3].is_number())
      b = {r[0].get<int>(), r[1].get<int>(), r[2].get<int>(), r[3].get<int>()};
    return b;
  };
  // A field of the wrong type counts as absent: the answer is another program's.
  auto text = [](const nlohmann::json& w, const char* key) {
    auto it = w.find(key);
    return it != w.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  auto flag = [](const nlohmann::json& w, const char* key, bool absent) {
    auto it = w.find(key);
    return it != w.end() && it->is_boolean() ? it->get<bool>() : absent;
  };
  std::vector<Window> out;
  for (const auto& w : j) {
    if (!w.is_object() || !w.contains("id") || !w["id"].is_number_unsigned()) continue;
    Window x;
    x.id = static_cast<long>(w["id"].get<std::uint64_t>());
    auto pid = w.find("pid");
    x.pid = pid != w.end() && pid->is_number_integer() ? pid->get<int>() : 0;
    x.title = text(w, "title");
    x.x11 = flag(w, "x11", false);
    // The shell's class is a Wayland window's app_id, or an X11 window's WM_CLASS class.
    std::string cls = text(w, "wmClass"), instance = text(w, "wmInstance");
    std::string appId = text(w, "appId");
    if (x.x11) {
      x.windowClass = cls;
      x.instance = instance;
    } else {
      // The app_id, as sway gives it; GTK's application id is found on the bus where no entry
      // matches the app_id (running::compositorSnapshot).
      x.appId = !cls.empty() ? cls : appId;
    }
    x.frame = box(w.contains("frame") ? w["frame"] : nlohmann::json());
    sway::Box buffer = box(w.contains("buffer") ? w["buffer"] : nlohmann::json());
    x.bufferDx = x.frame.x - buffer.x;
    x.bufferDy = x.frame.y - buffer.y;
    x.focused = flag(w, "focused", false);
    x.visible = flag(w, "visible", true);
    // Every window of the shell stacks freely: the list is bottom to top.
    x.floating = true;
    out.push_back(std::move(x));
  }
  return out;
}

std::optional<std::vector<Window>> windows() {
  GVariant* r = callShell(WINDOWS_PATH, WINDOWS_IFACE, "List", nullptr, "(s)");
  if (!r) return std::nullopt;
  const char* text = nullptr;
  g_variant_get(r, "(&s)", &text);
  auto out = parseWindows(text ? text : "");
  g_variant_unref(r);
  return out;
}

bool activate(long id) {
  GVariant* r = callShell(WINDOWS_PATH, WINDOWS_IFACE, "Activate",
                          g_variant_new("(t)", static_cast<guint64>(id)), "(b)");
  if (!r) return false;
  gboolean done = FALSE;
  g_variant_get(r, "(b)", &done);
  g_variant_unref(r);
  return done;
}

ExtensionState extensionState() {
  if (windows()) return ExtensionState::answering;
  if (!installed()) return ExtensionState::missing;
  if (!enabled()) return ExtensionState::disabled;
  return ExtensionState::notLoaded;
}

std::vector<std::pair<std::string, std::string>> extensionFiles(int major) {
  // GNOME 45 made extensions ES modules; 43 and 44 take the older form.
  int version = major >= 45 ? 45 : 43;
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& f : FILES)
    if (f.version == version) files.emplace_back(f.name, f.text);
  return files;
}

std::string installExtension() {
  int major = shellMajor();
  if (major == 0) return "GNOME Shell does not answer, so its extension was not installed.";
  std::filesystem::path folder = userExtensions() / EXTENSION_UUID;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  for (const auto& [name, text] : extensionFiles(major)) {
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
      return "The GNOME Shell extension could not be written into " + folder.string() + ".";
  }
  GSettings* settings = shellSettings();
  if (!settings) return "GNOME Shell's settings are not installed, so its extension stays off.";
  auto edit = [&](const char* key, bool add) {
    gchar** names = g_settings_get_strv(settings, key);
    std::vector<const gchar*> kept;
    for (gchar** n = names; n && *n; ++n)
      if (std::string_view(*n) != EXTENSION_UUID) kept.push_back(*n);
    if (add) kept.push_back(EXTENSION_UUID);
    kept.push_back(nullptr);
    g_settings_set_strv(settings, key, kept.data());
    g_strfreev(names);
  };
  edit("enabled-extensions", true);
  edit("disabled-extensions", false);
  g_settings_sync();
  g_object_unref(settings);
  return "";
}

std::string extensionMessage(ExtensionState state) {
  std::string where = (userExtensions() / EXTENSION_UUID).string();
  switch (state) {
  case ExtensionState::answering:
    return "";
  case ExtensionState::missing:
    return "GNOME Shell's windows cannot be seen without the extension " +
           std::string(EXTENSION_UUID) +
           ", which is not installed: ask for accessibility to "
           "install it.";
  case ExtensionState::disabled:
    return "The GNOME Shell extension " + std::string(EXTENSION_UUID) +
           " is installed but switched off: turn it on in Extensions, or ask for accessibility.";
  case ExtensionState::notLoaded:
    return "The GNOME Shell extension " + std::string(EXTENSION_UUID) + " is installed in " +
           where +
           " and enabled, but GNOME Shell loads a new extension only when the user logs in: "
           "log out and back in.";
  }
  return "";
}

bool windowsReadable(bool install) {
  static std::mutex lock;
  static std::string told;
  ExtensionState state = extensionState();
  std::string message;
  if (install && (state == ExtensionState::missing || state == ExtensionState::disabled)) {
    message = installExtension();
    state = extensionState();
  }
  if (state == ExtensionState::answering) return true;
  if (message.empty()) message = extensionMessage(state);
  std::lock_guard guard(lock);
  if (message != told) {
    std::fprintf(stderr, "plenk-hands: %s\n", message.c_str());
    told = message;
  }
  return false;
}

} // namespace plenk::gnome
