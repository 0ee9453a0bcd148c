// The names of scene files that the loader reads and the writer writes: one table, so that the
// two cannot drift apart.
#pragma once

#include <array>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace plenk::scene_keys {

// Attributes whose plain JSON values name elements, lists of elements, a point or a size.
inline const std::set<std::string, std::less<>> ELEMENT_ATTRIBUTES{
    "AXTitleUIElement", "AXFocusedWindow",    "AXMainWindow",
    "AXMenuBar",        "AXFocusedUIElement", "AXFocusedApplication",
    "AXParent",         "AXWindow",           "AXTopLevelUIElement"};
inline const std::set<std::string, std::less<>> LIST_ATTRIBUTES{
    "AXChildren",         "AXWindows", "AXVisibleChildren",
    "AXSelectedChildren", "AXRows",    "AXLinkedUIElements"};

// Keys of an element object that stand for attributes.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 8> SHORTHANDS{{
    {"role", "AXRole"},
    {"subrole", "AXSubrole"},
    {"title", "AXTitle"},
    {"value", "AXValue"},
    {"description", "AXDescription"},
    {"placeholder", "AXPlaceholderValue"},
    {"help", "AXHelp"},
    {"enabled", "AXEnabled"},
}};

// "AXPosition" and "AXSize" at once.
inline constexpr std::string_view FRAME = "frame";

} // namespace plenk::scene_keys
