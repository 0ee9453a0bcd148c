#include "hands/ax/browser.hpp"

#include "hands/access.hpp"
#include "hands/ax/app_facts.hpp"
#include "hands/ax/readers.hpp"
#include "hands/constants.hpp"
#include "hands/error.hpp"
#include "platform/text.hpp"

#include <cmath>
#include <utility>
#include <vector>

namespace plenk::hands {

namespace {

constexpr std::int64_t POLL_MICROS = 150'000;
constexpr int PAGE_SEARCH_LIMIT = 400;
constexpr int PAGE_SEARCH_DEPTH = 20;

std::int64_t microsOf(double seconds) {
  return std::llround(seconds * 1e6);
}

} // namespace

bool isChromiumBrowser(const RunningApp& app) {
  std::string id = text::lower(app.bundleId.value_or(""));
  for (std::string_view prefix : CHROMIUM_BROWSERS)
    if (std::string_view(id).starts_with(prefix)) return true;
  return false;
}

void wakeAccessibility(Accessibility& ax, const Element& appElement, const RunningApp& app) {
  ax.setAttribute(appElement, "AXManualAccessibility", AttrValue{true});
  if (isChromiumBrowser(app))
    ax.setAttribute(appElement, "AXEnhancedUserInterface", AttrValue{true});
}

FrontApp openFrontApp(Hands& hands) {
  requireAccessibility(hands);
  auto app = frontmostApp(hands);
  if (!app) throw HandsError{"helper_failed", "macOS did not say which app is in front."};
  Element element = applicationElement(hands.ax, app->pid);
  wakeAccessibility(hands.ax, element, *app);
  return {std::move(*app), std::move(element)};
}

std::optional<bool> pageFilled(Accessibility& ax, const Element& window) {
  std::optional<bool> answer;
  std::vector<std::pair<Element, int>> stack{{window, 0}};
  int examined = 0;
  while (!stack.empty() && examined < PAGE_SEARCH_LIMIT) {
    auto [element, depth] = std::move(stack.back());
    stack.pop_back();
    ++examined;
    if (axString(ax, element, "AXRole") == "AXWebArea") {
      if (!axChildren(ax, element).empty()) return true;
      answer = false;
      continue;
    }
    if (depth < PAGE_SEARCH_DEPTH)
      for (auto& child : axChildren(ax, element))
        stack.emplace_back(std::move(child), depth + 1);
  }
  return answer;
}

void waitForPage(Hands& hands, const Element& window, const RunningApp& app) {
  if (!isChromiumBrowser(app)) return;
  bool firstTime = hands.wokenBrowsers.insert(app.pid).second;
  std::int64_t deadline = microsOf(hands.clock.now() + PAGE_WAIT_SECONDS);
  while (microsOf(hands.clock.now()) < deadline) {
    auto filled = pageFilled(hands.ax, window);
    if (filled == true) return;
    // No web area at all: only the first request for this browser waits for one to appear.
    if (!filled && !firstTime) return;
    hands.clock.sleepMicros(POLL_MICROS);
  }
}

} // namespace plenk::hands
