// Chromium browsers show a page's accessibility tree only once asked, and fill it while loading:
// the wake-up before a walk, and a short bounded wait for the page.
#pragma once

#include "hands/context.hpp"
#include "platform/accessibility.hpp"
#include "platform/workspace.hpp"

#include <optional>

namespace plenk::hands {

// Whether the application's bundle identifier, lowercased, begins with a CHROMIUM_BROWSERS prefix.
bool isChromiumBrowser(const RunningApp& app);

// Writes "AXManualAccessibility" true on the application element, and for a Chromium browser
// also "AXEnhancedUserInterface"; on every call, ignoring the statuses.
void wakeAccessibility(Accessibility& ax, const Element& appElement, const RunningApp& app);

// The front application as the reading verbs start on it: accessibility required, the front app
// ("helper_failed" when none is known), its application element, and its tree woken up.
struct FrontApp {
  RunningApp app;
  Element element;
};
FrontApp openFrontApp(Hands& hands);

// Whether the window shows a web area with content (true), only empty web areas (false), or no
// web area within 400 elements and depth 20 (nothing).
std::optional<bool> pageFilled(Accessibility& ax, const Element& window);

// For a Chromium browser, waits up to PAGE_WAIT_SECONDS, looking every 0.15 s, until a web area
// has content. Later requests for a process already in `wokenBrowsers` do not wait for a window
// without any web area. Returns at once for other applications.
void waitForPage(Hands& hands, const Element& window, const RunningApp& app);

} // namespace plenk::hands
