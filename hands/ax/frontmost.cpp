#include "hands/ax/app_facts.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {

Json verbFrontmost(Hands& hands, const Json&) {
  auto app = frontmostApp(hands);
  if (!app) throw HandsError{"helper_failed", "macOS did not say which app is in front."};
  Json result = Json::object();
  result["app"] = appInfo(*app);
  result["window"] = "";
  // Without trust the application is still known from the workspace; its window is not.
  if (!hands.ax.isTrusted()) return result;
  Element appElement = applicationElement(hands.ax, app->pid);
  if (auto window = focusedWindow(hands.ax, appElement))
    result["window"] = windowTitle(hands.ax, *window);
  return result;
}

} // namespace plenk::hands
