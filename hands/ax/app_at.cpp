#include "hands/access.hpp"
#include "hands/args.hpp"
#include "hands/ax/app_facts.hpp"
#include "hands/ax/readers.hpp"
#include "hands/ax/secure.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {

Json verbAppAt(Hands& hands, const Json& args) {
  requireAccessibility(hands);
  auto point = pointArg(args);
  auto hit = hands.ax.elementAtPosition(hands.ax.systemWide(), static_cast<float>(point.x),
                                        static_cast<float>(point.y));
  if (!hit.ok() || !*hit.value)
    throw HandsError{"helper_failed", "macOS did not say what is at that point."};
  const Element& element = *hit.value;
  auto pid = hands.ax.pid(element);
  std::optional<RunningApp> app;
  if (pid.ok()) app = hands.workspace.runningApplication(*pid.value);
  if (!app) throw HandsError{"helper_failed", "macOS did not say which app owns that point."};

  Json result = Json::object();
  result["app"] = appInfo(*app);
  result["role"] = axString(hands.ax, element, "AXRole").value_or("");
  result["secure"] = isSecure(hands.ax, element);
  return result;
}

} // namespace plenk::hands
