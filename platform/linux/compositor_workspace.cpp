#include "platform/linux/compositor_workspace.hpp"

#include "platform/linux/gnome_shell.hpp"
#include "platform/linux/kwin.hpp"
#include "platform/linux/session.hpp"
#include "platform/linux/workspace_entries.hpp"
#include "platform/linux/workspace_open.hpp"
#include "platform/linux/workspace_running.hpp"

#include <chrono>
#include <gio/gio.h>
#include <set>
#include <thread>

namespace plenk {

namespace {

constexpr auto ACTIVATE_WAIT = std::chrono::milliseconds(1000);
constexpr auto ACTIVATE_POLL = std::chrono::milliseconds(20);
constexpr int BUS_TIMEOUT_MS = 500;

std::vector<running::AppWindow> snapshot(const Compositor& compositor,
                                         const desktop_entries::Catalogue& catalogue) {
  return running::compositorSnapshot(compositor.windows().value_or(std::vector<sway::Window>{}),
                                     catalogue);
}

std::optional<int> focusedPid(const Compositor& compositor) {
  for (const auto& w : compositor.windows().value_or(std::vector<sway::Window>{}))
    if (w.focused && w.pid > 0) return w.pid;
  return std::nullopt;
}

} // namespace

const Compositor& swayCompositor() {
  static const Compositor sway{&sway::windows, &sway::focus};
  return sway;
}

const Compositor& gnomeCompositor() {
  static const Compositor gnome{&gnome::windows, &gnome::activate};
  return gnome;
}

const Compositor& kdeCompositor() {
  static const Compositor kde{&kwin::windows, &kwin::activate};
  return kde;
}

const Compositor* sessionCompositor() {
  switch (currentSession()) {
  case SessionKind::sway:
    return &swayCompositor();
  case SessionKind::gnome:
    return &gnomeCompositor();
  case SessionKind::kde:
    return &kdeCompositor();
  default:
    return nullptr;
  }
}

std::map<int, std::string> running::applicationIdsOnTheBus() {
  std::map<int, std::string> ids;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus) return ids;
  auto call = [&](const char* method, GVariant* args, const char* type) {
    return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", method, args, G_VARIANT_TYPE(type),
                                       G_DBUS_CALL_FLAGS_NONE, BUS_TIMEOUT_MS, nullptr, nullptr);
  };
  if (GVariant* names = call("ListNames", nullptr, "(as)")) {
    GVariantIter* it = nullptr;
    const char* name = nullptr;
    g_variant_get(names, "(as)", &it);
    while (g_variant_iter_next(it, "&s", &name)) {
      std::string_view n = name;
      // Unique names, the bus's own and the desktop's services name no application.
      if (n.starts_with(':') || n.find('.') == n.npos || n.starts_with("org.freedesktop.") ||
          n.starts_with("org.a11y.") || n.starts_with("org.gtk."))
        continue;
      if (GVariant* pid = call("GetConnectionUnixProcessID", g_variant_new("(s)", name), "(u)")) {
        guint32 value = 0;
        g_variant_get(pid, "(u)", &value);
        ids.emplace(static_cast<int>(value), name); // the first name a process owns
        g_variant_unref(pid);
      }
    }
    g_variant_iter_free(it);
    g_variant_unref(names);
  }
  g_object_unref(bus);
  return ids;
}

ewmh::WindowFacts running::facts(const sway::Window& w) {
  ewmh::WindowFacts f;
  f.id = static_cast<ewmh::Window>(w.id);
  f.pid = w.pid;
  f.instance = w.x11 ? w.instance : w.appId;
  f.windowClass = w.x11 ? w.windowClass : w.appId;
  // A Wayland window's app_id is the desktop entry's id by convention.
  f.appId = w.x11 ? std::string() : w.appId;
  // sway manages only the toplevel windows of applications.
  f.taskbar = true;
  return f;
}

std::vector<RunningApp> CompositorWorkspace::runningApplications() {
  return running::applications(snapshot(compositor_, desktop_entries::loadCatalogue()));
}

std::optional<RunningApp> CompositorWorkspace::frontmostApplication() {
  auto pid = focusedPid(compositor_);
  if (!pid) return std::nullopt;
  return runningApplication(*pid);
}

std::optional<RunningApp> CompositorWorkspace::runningApplication(int pid) {
  if (pid <= 0) return std::nullopt;
  return running::application(snapshot(compositor_, desktop_entries::loadCatalogue()), pid);
}

bool CompositorWorkspace::activate(int pid) {
  if (pid <= 0) return false;
  auto windows = compositor_.windows();
  if (!windows) return false;
  std::optional<long> target;
  for (const auto& w : *windows)
    if (w.pid == pid) {
      if (w.focused) return true;
      target = w.id;
    }
  if (!target || !compositor_.raise(*target)) return false;
  auto deadline = std::chrono::steady_clock::now() + ACTIVATE_WAIT;
  for (;;) {
    if (focusedPid(compositor_) == pid) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(ACTIVATE_POLL);
  }
}

void CompositorWorkspace::openApplication(const std::string& bundlePath,
                                          const OpenConfiguration& config, OpenHandler handler) {
  launching::openEntry(
      bundlePath, config,
      [this](const desktop_entries::Catalogue& catalogue)
          -> std::optional<std::vector<running::AppWindow>> {
        auto windows = compositor_.windows();
        if (!windows) return std::nullopt;
        return running::compositorSnapshot(*windows, catalogue);
      },
      [this](int pid) { activate(pid); }, std::move(handler));
}

std::optional<std::string>
CompositorWorkspace::applicationPathForBundleId(const std::string& bundleId) {
  return linux_.applicationPathForBundleId(bundleId);
}

std::optional<std::string> CompositorWorkspace::bundleIdentifier(const std::string& bundlePath) {
  return linux_.bundleIdentifier(bundlePath);
}

std::optional<std::string> CompositorWorkspace::applicationName(const std::string& bundlePath) {
  return linux_.applicationName(bundlePath);
}

std::optional<std::vector<InstalledApp>>
CompositorWorkspace::installedApplications(const std::string& folder) {
  return linux_.installedApplications(folder);
}

std::optional<std::vector<std::string>>
CompositorWorkspace::contentsOfDirectory(const std::string& path) {
  return linux_.contentsOfDirectory(path);
}

std::string CompositorWorkspace::homeDirectory() {
  return linux_.homeDirectory();
}

} // namespace plenk
