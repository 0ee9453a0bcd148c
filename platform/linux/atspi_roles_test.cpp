#include "platform/linux/atspi_roles.hpp"

#include <atspi/atspi-constants.h>
#include <gtest/gtest.h>
#include <string>

namespace plenk::atspi {
namespace {

struct RoleCase {
  AtspiRole atspi;
  std::uint64_t states;
  AtspiRole parent;
  std::string role;
  std::string subrole;
};

TEST(AtspiRoles, MapToTheDesktopsNames) {
  const std::uint64_t multi = STATE_BIT(ATSPI_STATE_MULTI_LINE);
  const std::uint64_t selectable = STATE_BIT(ATSPI_STATE_SELECTABLE);
  const RoleCase cases[] = {
      {ATSPI_ROLE_PUSH_BUTTON, 0, ATSPI_ROLE_PANEL, "AXButton", ""},
      {ATSPI_ROLE_ENTRY, 0, ATSPI_ROLE_PANEL, "AXTextField", ""},
      {ATSPI_ROLE_TEXT, 0, ATSPI_ROLE_PANEL, "AXTextField", ""},
      {ATSPI_ROLE_TEXT, multi, ATSPI_ROLE_SCROLL_PANE, "AXTextArea", ""},
      {ATSPI_ROLE_PASSWORD_TEXT, 0, ATSPI_ROLE_PANEL, "AXTextField", "AXSecureTextField"},
      {ATSPI_ROLE_CHECK_BOX, 0, ATSPI_ROLE_PANEL, "AXCheckBox", ""},
      {ATSPI_ROLE_RADIO_BUTTON, 0, ATSPI_ROLE_PANEL, "AXRadioButton", ""},
      {ATSPI_ROLE_COMBO_BOX, 0, ATSPI_ROLE_PANEL, "AXComboBox", ""},
      {ATSPI_ROLE_LINK, 0, ATSPI_ROLE_PARAGRAPH, "AXLink", ""},
      {ATSPI_ROLE_MENU_BAR, 0, ATSPI_ROLE_PANEL, "AXMenuBar", ""},
      // GTK 3's menu-bar items are menus, GTK 4's menu items.
      {ATSPI_ROLE_MENU, 0, ATSPI_ROLE_MENU_BAR, "AXMenuBarItem", ""},
      {ATSPI_ROLE_MENU_ITEM, 0, ATSPI_ROLE_MENU_BAR, "AXMenuBarItem", ""},
      {ATSPI_ROLE_MENU, 0, ATSPI_ROLE_MENU_ITEM, "AXMenu", ""},
      {ATSPI_ROLE_MENU_ITEM, 0, ATSPI_ROLE_MENU, "AXMenuItem", ""},
      {ATSPI_ROLE_LABEL, 0, ATSPI_ROLE_PANEL, "AXStaticText", ""},
      {ATSPI_ROLE_STATIC, 0, ATSPI_ROLE_SECTION, "AXStaticText", ""},
      {ATSPI_ROLE_PARAGRAPH, 0, ATSPI_ROLE_DOCUMENT_WEB, "AXStaticText", ""},
      {ATSPI_ROLE_HEADING, 0, ATSPI_ROLE_DOCUMENT_WEB, "AXHeading", ""},
      {ATSPI_ROLE_DOCUMENT_WEB, 0, ATSPI_ROLE_SCROLL_PANE, "AXWebArea", ""},
      {ATSPI_ROLE_FRAME, 0, ATSPI_ROLE_APPLICATION, "AXWindow", ""},
      {ATSPI_ROLE_WINDOW, 0, ATSPI_ROLE_APPLICATION, "AXWindow", ""},
      {ATSPI_ROLE_LIST, 0, ATSPI_ROLE_PANEL, "AXList", ""},
      {ATSPI_ROLE_LIST_ITEM, selectable, ATSPI_ROLE_LIST_BOX, "AXRow", ""},
      {ATSPI_ROLE_LIST_ITEM, 0, ATSPI_ROLE_LIST, "AXGroup", ""},
      {ATSPI_ROLE_TABLE, 0, ATSPI_ROLE_PANEL, "AXTable", ""},
      {ATSPI_ROLE_TABLE_ROW, 0, ATSPI_ROLE_TABLE, "AXRow", ""},
      {ATSPI_ROLE_TABLE_CELL, 0, ATSPI_ROLE_TABLE_ROW, "AXCell", ""},
      {ATSPI_ROLE_IMAGE, 0, ATSPI_ROLE_PANEL, "AXImage", ""},
      {ATSPI_ROLE_SLIDER, 0, ATSPI_ROLE_PANEL, "AXSlider", ""},
      {ATSPI_ROLE_PAGE_TAB, 0, ATSPI_ROLE_PAGE_TAB_LIST, "AXRadioButton", "AXTabButton"},
      {ATSPI_ROLE_PANEL, 0, ATSPI_ROLE_FRAME, "AXGroup", ""},
      {ATSPI_ROLE_UNKNOWN, 0, ATSPI_ROLE_PANEL, "AXUnknown", ""},
      {ATSPI_ROLE_REDUNDANT_OBJECT, 0, ATSPI_ROLE_PANEL, "AXUnknown", ""},
  };
  for (const auto& c : cases) {
    auto name = roleName(c.atspi, c.states, c.parent);
    std::string what = std::string(atspiRoleName(c.atspi));
    EXPECT_EQ(name.role, c.role) << what;
    EXPECT_EQ(std::string(name.subrole.value_or("")), c.subrole) << what;
    EXPECT_EQ(roleKnown(c.atspi), c.role != "AXUnknown") << what;
  }
}

TEST(AtspiRoles, NamesFollowTheLibrarysNumbering) {
  EXPECT_EQ(atspiRoleName(ATSPI_ROLE_PUSH_BUTTON), "push button");
  EXPECT_EQ(atspiRoleName(ATSPI_ROLE_DOCUMENT_WEB), "document web");
  EXPECT_EQ(atspiRoleName(ATSPI_ROLE_PUSH_BUTTON_MENU), "push button menu");
  EXPECT_EQ(atspiRoleName(ATSPI_ROLE_LAST_DEFINED), "");
}

} // namespace
} // namespace plenk::atspi
