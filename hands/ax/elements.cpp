#include "hands/args.hpp"
#include "hands/ax/app_facts.hpp"
#include "hands/ax/browser.hpp"
#include "hands/ax/describe.hpp"
#include "hands/ax/readers.hpp"
#include "hands/ax/walk.hpp"
#include "hands/constants.hpp"
#include "hands/verbs.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace plenk::hands {

namespace {

constexpr std::size_t MENU_BAR_LIMIT = 30;

// The menu-bar items, in order, at most MENU_BAR_LIMIT; neither visits nor the deadline apply.
std::vector<Json> menuBarItems(Accessibility& ax, const Wording& words, const Element& appElement,
                               const std::optional<Element>& focused) {
  std::vector<Json> items;
  auto menuBar = axElement(ax, appElement, "AXMenuBar");
  if (!menuBar) return items;
  for (const Element& child : axChildren(ax, *menuBar)) {
    if (items.size() >= MENU_BAR_LIMIT) break;
    if (axString(ax, child, "AXRole") != "AXMenuBarItem") continue;
    auto frame = axFrame(ax, child);
    // The height of a menu-bar item is not tested.
    if (!frame || !listable(*frame, -std::numeric_limits<double>::infinity())) continue;
    Json record = describe(ax, child, "AXMenuBarItem", *frame, focused);
    // The first item of the menu bar is the system menu, which has no label of its own; the
    // platform names it where it has one.
    if (record["label"].get_ref<const std::string&>().empty() && words.systemMenuLabel)
      record["label"] = std::string(*words.systemMenuLabel);
    items.push_back(std::move(record));
  }
  return items;
}

} // namespace

Json verbElements(Hands& hands, const Json& args) {
  auto [app, appElement] = openFrontApp(hands);
  std::size_t max = countArg(args, "max", MAX_ELEMENTS, MAX_ELEMENTS);
  Accessibility& ax = hands.ax;
  auto focused = axElement(ax, appElement, "AXFocusedUIElement");
  // The menu bar and the page wait are spent out of the same budget as the walk.
  Walk walk(hands.clock);

  std::vector<Json> listed = menuBarItems(ax, hands.wording, appElement, focused);
  std::vector<Json> interactive, texts;
  std::string title;
  if (auto window = focusedWindow(ax, appElement)) {
    waitForPage(hands, *window, app);
    title = windowTitle(ax, *window);
    collect(ax, *window, axFrame(ax, *window), focused, walk, interactive, texts);
  }

  for (auto& record : interactive)
    listed.push_back(std::move(record));
  if (listed.size() > max) listed.resize(max);
  for (std::size_t i = 0; i < texts.size() && listed.size() < max; ++i)
    listed.push_back(std::move(texts[i]));

  Json result = Json::object();
  result["app"] = appInfo(app);
  result["window"] = title;
  result["elements"] = std::move(listed);
  result["truncated"] = walk.exhausted();
  return result;
}

} // namespace plenk::hands
