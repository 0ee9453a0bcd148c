#include "platform/linux/workspace_running.hpp"

#include "platform/linux/compositor_workspace.hpp"

#include <algorithm>
#include <map>
#include <optional>

namespace plenk::running {

namespace {

struct Group {
  int pid = 0;
  std::vector<const AppWindow*> windows;
};

RunningApp fromGroup(const Group& group) {
  RunningApp app;
  app.pid = group.pid;
  bool taskbar = std::any_of(group.windows.begin(), group.windows.end(),
                             [](const AppWindow* w) { return w->window.taskbar; });
  app.policy = taskbar ? ActivationPolicy::regular : ActivationPolicy::accessory;
  for (const AppWindow* w : group.windows)
    if (w->entry) {
      app.name = w->entry->name;
      app.bundleId = w->entry->id;
      app.bundlePath = w->entry->location;
      return app;
    }
  // No entry: the window class names it; the application id, when it gives one, identifies it.
  for (const AppWindow* w : group.windows) {
    const std::string& cls =
        w->window.windowClass.empty() ? w->window.instance : w->window.windowClass;
    if (cls.empty() && w->window.appId.empty()) continue;
    if (!cls.empty()) app.name = cls;
    app.bundleId = w->window.appId.empty() ? cls : w->window.appId;
    return app;
  }
  return app;
}

std::vector<Group> groups(const std::vector<AppWindow>& windows) {
  std::vector<Group> out;
  for (const auto& w : windows) {
    // A window that does not say its process cannot be activated or told apart: left out.
    if (w.window.pid <= 0) continue;
    auto it =
        std::find_if(out.begin(), out.end(), [&](const Group& g) { return g.pid == w.window.pid; });
    if (it == out.end()) it = out.insert(out.end(), Group{w.window.pid, {}});
    it->windows.push_back(&w);
  }
  return out;
}

} // namespace

std::vector<AppWindow> classify(const std::vector<ewmh::WindowFacts>& windows,
                                const desktop_entries::Catalogue& catalogue) {
  std::vector<AppWindow> out;
  out.reserve(windows.size());
  for (const auto& w : windows) {
    std::string executable = w.pid > 0 ? desktop_entries::processExecutable(w.pid) : std::string();
    out.push_back({w, catalogue.forWindow(w, executable)});
  }
  return out;
}

std::vector<RunningApp> applications(const std::vector<AppWindow>& windows) {
  std::vector<RunningApp> apps;
  for (const auto& group : groups(windows))
    apps.push_back(fromGroup(group));
  return apps;
}

std::optional<RunningApp> application(const std::vector<AppWindow>& windows, int pid) {
  for (const auto& group : groups(windows))
    if (group.pid == pid) return fromGroup(group);
  return std::nullopt;
}

std::vector<AppWindow> snapshot(ewmh::Display& display, const desktop_entries::Catalogue& catalogue,
                                bool stacking) {
  return classify(display.facts(display.clients(stacking)), catalogue);
}

std::vector<AppWindow> sessionSnapshot(ewmh::Display& display,
                                       const desktop_entries::Catalogue& catalogue) {
  if (const Compositor* compositor = sessionCompositor())
    return compositorSnapshot(compositor->windows().value_or(std::vector<sway::Window>{}),
                              catalogue);
  return snapshot(display, catalogue);
}

std::vector<AppWindow> compositorSnapshot(const std::vector<sway::Window>& windows,
                                          const desktop_entries::Catalogue& catalogue) {
  std::vector<ewmh::WindowFacts> facts;
  std::optional<std::map<int, std::string>> busIds; // asked for once, when first needed
  for (const auto& w : windows) {
    ewmh::WindowFacts f = running::facts(w);
    // GTK gives a Wayland window its program name as app_id, where X11 had the application's
    // id (_GTK_APPLICATION_ID); the application's name on the session bus says that id.
    if (!w.x11 && w.pid > 0 && !catalogue.forWindow(f, "")) {
      if (!busIds) busIds = applicationIdsOnTheBus();
      if (auto it = busIds->find(w.pid); it != busIds->end()) f.appId = it->second;
    }
    facts.push_back(std::move(f));
  }
  return classify(facts, catalogue);
}

} // namespace plenk::running
