#include "hands/ax/app_facts.hpp"

#include "hands/ax/readers.hpp"

namespace plenk::hands {

std::optional<RunningApp> frontmostApp(Hands& hands) {
  if (auto focused = axElement(hands.ax, hands.ax.systemWide(), "AXFocusedApplication")) {
    auto pid = hands.ax.pid(*focused);
    if (pid.ok() && *pid.value >= 1)
      if (auto app = hands.workspace.runningApplication(*pid.value)) return app;
  }
  return hands.workspace.frontmostApplication();
}

Json appInfo(const RunningApp& app) {
  Json record = Json::object();
  record["name"] = app.name.value_or("");
  record["bundle_id"] = app.bundleId.value_or("");
  record["pid"] = app.pid;
  return record;
}

Element applicationElement(Accessibility& ax, int pid) {
  Element app = ax.application(pid);
  ax.setMessagingTimeout(app, 1.0f);
  return app;
}

std::optional<Element> focusedWindow(Accessibility& ax, const Element& appElement) {
  if (auto window = axElement(ax, appElement, "AXFocusedWindow")) return window;
  return axElement(ax, appElement, "AXMainWindow");
}

std::string windowTitle(Accessibility& ax, const Element& window) {
  return clip(axString(ax, window, "AXTitle").value_or(""), WINDOW_TITLE_CHARS);
}

} // namespace plenk::hands
