#include "platform/linux/atspi_toolkits.hpp"

namespace plenk::atspi {

namespace {

struct Row {
  std::string_view name;          // ToolkitName exactly
  std::string_view versionPrefix; // "" for any version
  ToolkitQuirks quirks;
};

// The AT-SPI bridge of ATK (GTK 2 through GAIL, GTK 3, and LibreOffice through it; Gecko;
// Chromium; Java through its ATK wrapper) answers every standard call; GTK 4 speaks AT-SPI through
// GDBus, which answers GetAll itself.
constexpr Row TOOLKITS[] = {
    {"GAIL", "", {.toolkit = Toolkit::gtk2, .getAll = true, .showing = true}},
    {"gtk",
     "3.",
     {.toolkit = Toolkit::gtk3,
      .getAll = true,
      .collection = true,
      .showing = true,
      .panelsByPosition = true,
      .lookThroughUnplaced = true}},
    {"GTK",
     "4.",
     {.toolkit = Toolkit::gtk4,
      .getAll = true,
      .showing = false,
      .windowExtents = true,
      .textEndClamped = true,
      .hiddenAtNoSize = true}},
    {"Qt",
     "",
     {.toolkit = Toolkit::qt, .getAll = false, .showing = true, .fillersByContent = true}},
    {"Gecko",
     "",
     {.toolkit = Toolkit::gecko,
      .getAll = true,
      .collection = true,
      .showing = true,
      .boundsLate = true}},
    // Chromium too shows a fresh page's content a part at a time, under load after its title.
    {"Chromium",
     "",
     {.toolkit = Toolkit::chromium,
      .getAll = true,
      .collection = true,
      .showing = true,
      .boundsLate = true}},
    {"J2SE-access-bridge",
     "",
     {.toolkit = Toolkit::java,
      .getAll = true,
      .showing = true,
      .windowExtentsOnXWayland = true,
      .textWhole = true}},
};

} // namespace

ToolkitQuirks quirksOf(std::string_view toolkitName, std::string_view version) {
  for (const Row& row : TOOLKITS)
    if (row.name == toolkitName && version.starts_with(row.versionPrefix)) return row.quirks;
  return {};
}

} // namespace plenk::atspi
