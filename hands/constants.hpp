// Module constants and tables of plenk-hands: fixed before the first request is read.
#pragma once

#include "platform/input_events.hpp"
#include "platform/version.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plenk::hands {

inline constexpr int PROTOCOL_VERSION = 1;
inline constexpr std::string_view HELPER_NAME = "plenk-hands";
inline constexpr std::string_view HELPER_VERSION = HELPERS_VERSION;

// The verbs in the order the probe lists them.
inline constexpr std::array<std::string_view, 14> VERBS{
    "probe", "request", "frontmost", "app_at",      "elements", "read_text", "click",
    "type",  "key",     "scroll",    "resolve_app", "open_app", "activate",  "list_apps"};

// A trimmed request line longer than this many UTF-8 bytes is refused unparsed.
inline constexpr std::size_t MAX_LINE_BYTES = 1'000'000;

inline constexpr int MAX_ELEMENTS = 250;
inline constexpr int MAX_VISITS = 6000;
inline constexpr double WALK_SECONDS = 4.0;
inline constexpr int MAX_DEPTH = 60;
inline constexpr int MAX_FIELD_CHARS = 120;
inline constexpr int MAX_TYPE_CHARS = 10000;
inline constexpr int MAX_READ_CHARS = 50000;
inline constexpr double PAGE_WAIT_SECONDS = 2.5;

// Bundle-identifier prefixes (lowercase) of Chromium browsers, tried in this order.
// From "chromium" on: the same browsers' desktop ids on Linux ("google-chrome-beta").
inline constexpr std::array<std::string_view, 13> CHROMIUM_BROWSERS{
    "com.google.chrome",   "org.chromium.",  "com.microsoft.edgemac", "com.brave.browser",
    "company.thebrowser.", "com.vivaldi.",   "com.operasoftware.",    "chromium",
    "google-chrome",       "microsoft-edge", "brave-browser",         "vivaldi",
    "com.microsoft.edge"};

// Roles whose elements are listed as interactive.
inline constexpr std::array<std::string_view, 22> INTERACTIVE_ROLES{"AXButton",
                                                                    "AXTextField",
                                                                    "AXTextArea",
                                                                    "AXSecureTextField",
                                                                    "AXCheckBox",
                                                                    "AXRadioButton",
                                                                    "AXPopUpButton",
                                                                    "AXComboBox",
                                                                    "AXMenuItem",
                                                                    "AXMenuBarItem",
                                                                    "AXMenuButton",
                                                                    "AXLink",
                                                                    "AXTab",
                                                                    "AXRow",
                                                                    "AXCell",
                                                                    "AXSlider",
                                                                    "AXIncrementor",
                                                                    "AXDisclosureTriangle",
                                                                    "AXSearchField",
                                                                    "AXColorWell",
                                                                    "AXSegmentedControl",
                                                                    "AXDateField"};

// Roles whose elements give text when reading a window.
inline constexpr std::array<std::string_view, 6> TEXT_ROLES{
    "AXStaticText", "AXTextArea", "AXTextField", "AXHeading", "AXLink", "AXCell"};

// Key name to virtual key code (positions on the ANSI keyboard).
inline constexpr std::array<std::pair<std::string_view, std::uint16_t>, 76> KEY_CODES{{
    {"a", 0},       {"s", 1},          {"d", 2},          {"f", 3},        {"h", 4},
    {"g", 5},       {"z", 6},          {"x", 7},          {"c", 8},        {"v", 9},
    {"b", 11},      {"q", 12},         {"w", 13},         {"e", 14},       {"r", 15},
    {"y", 16},      {"t", 17},         {"1", 18},         {"2", 19},       {"3", 20},
    {"4", 21},      {"6", 22},         {"5", 23},         {"=", 24},       {"9", 25},
    {"7", 26},      {"-", 27},         {"8", 28},         {"0", 29},       {"]", 30},
    {"o", 31},      {"u", 32},         {"[", 33},         {"i", 34},       {"p", 35},
    {"return", 36}, {"enter", 36},     {"l", 37},         {"j", 38},       {"'", 39},
    {"k", 40},      {";", 41},         {"\\", 42},        {",", 43},       {"/", 44},
    {"n", 45},      {"m", 46},         {".", 47},         {"tab", 48},     {"space", 49},
    {"`", 50},      {"delete", 51},    {"backspace", 51}, {"escape", 53},  {"esc", 53},
    {"f1", 122},    {"f2", 120},       {"f3", 99},        {"f4", 118},     {"f5", 96},
    {"f6", 97},     {"f7", 98},        {"f8", 100},       {"f9", 101},     {"f10", 109},
    {"f11", 103},   {"f12", 111},      {"home", 115},     {"pageup", 116}, {"forwarddelete", 117},
    {"end", 119},   {"pagedown", 121}, {"left", 123},     {"right", 124},  {"down", 125},
    {"up", 126},
}};

// Modifier name to event flag.
inline constexpr std::array<std::pair<std::string_view, std::uint64_t>, 8> MODIFIERS{{
    {"cmd", FLAG_COMMAND},
    {"command", FLAG_COMMAND},
    {"shift", FLAG_SHIFT},
    {"alt", FLAG_OPTION},
    {"option", FLAG_OPTION},
    {"opt", FLAG_OPTION},
    {"ctrl", FLAG_CONTROL},
    {"control", FLAG_CONTROL},
}};

// The longest application name resolved, in characters.
inline constexpr std::size_t MAX_APP_NAME_CHARS = 200;
// The most installed application names list_apps answers.
inline constexpr std::size_t MAX_INSTALLED_APPS = 300;

// The application folders searched, in order, for a given home folder.
inline std::vector<std::string> appDirsFor(std::string_view home) {
  return {"/Applications", "/Applications/Utilities", "/System/Applications",
          "/System/Applications/Utilities", std::string(home) + "/Applications"};
}

} // namespace plenk::hands
