// Which application is in front, its app record, its window.
#pragma once

#include "hands/context.hpp"
#include "platform/accessibility.hpp"
#include "platform/json.hpp"
#include "platform/workspace.hpp"

#include <optional>
#include <string>

namespace plenk::hands {

// Longest window title answered, in characters.
inline constexpr std::size_t WINDOW_TITLE_CHARS = 200;

// The owner of the system-wide "AXFocusedApplication" when it names a running process, else the
// workspace's frontmost application; none when neither knows.
std::optional<RunningApp> frontmostApp(Hands& hands);

// The app record: `name`, `bundle_id` ("" when missing) and `pid`.
Json appInfo(const RunningApp& app);

// The application element of a process, with its messaging timeout set to one second before
// anything is read through it.
Element applicationElement(Accessibility& ax, int pid);

// "AXFocusedWindow", else "AXMainWindow", else nothing.
std::optional<Element> focusedWindow(Accessibility& ax, const Element& appElement);

// The window's "AXTitle" clipped to WINDOW_TITLE_CHARS; "" when it has none.
std::string windowTitle(Accessibility& ax, const Element& window);

} // namespace plenk::hands
