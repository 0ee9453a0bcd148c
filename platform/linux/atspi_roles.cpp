#include "platform/linux/atspi_roles.hpp"

#include <array>
#include <atspi/atspi-constants.h>
#include <utility>

namespace plenk::atspi {

namespace {

struct Entry {
  AtspiRole atspi;
  std::string_view role;
  std::string_view atspiName;
};

// Roles that read alike on every toolkit. Roles that depend on state or parent are decided in
// roleName before this table is consulted.
constexpr std::array ROLES = std::to_array<Entry>({
    {ATSPI_ROLE_PUSH_BUTTON, "AXButton", "push button"},
    {ATSPI_ROLE_PUSH_BUTTON_MENU, "AXMenuButton", "push button menu"},
    {ATSPI_ROLE_TOGGLE_BUTTON, "AXCheckBox", "toggle button"},
    {ATSPI_ROLE_CHECK_BOX, "AXCheckBox", "check box"},
    {ATSPI_ROLE_RADIO_BUTTON, "AXRadioButton", "radio button"},
    {ATSPI_ROLE_COMBO_BOX, "AXComboBox", "combo box"},
    {ATSPI_ROLE_LINK, "AXLink", "link"},
    {ATSPI_ROLE_ENTRY, "AXTextField", "entry"},
    {ATSPI_ROLE_TEXT, "AXTextField", "text"},
    {ATSPI_ROLE_PASSWORD_TEXT, "AXTextField", "password text"},
    {ATSPI_ROLE_SPIN_BUTTON, "AXTextField", "spin button"},
    {ATSPI_ROLE_AUTOCOMPLETE, "AXComboBox", "autocomplete"},
    {ATSPI_ROLE_EDITBAR, "AXTextField", "editbar"},
    {ATSPI_ROLE_TERMINAL, "AXTextArea", "terminal"},
    {ATSPI_ROLE_DOCUMENT_TEXT, "AXTextArea", "document text"},
    {ATSPI_ROLE_DATE_EDITOR, "AXDateField", "date editor"},
    {ATSPI_ROLE_COLOR_CHOOSER, "AXColorWell", "color chooser"},
    {ATSPI_ROLE_SLIDER, "AXSlider", "slider"},
    {ATSPI_ROLE_DIAL, "AXSlider", "dial"},
    {ATSPI_ROLE_SCROLL_BAR, "AXScrollBar", "scroll bar"},
    {ATSPI_ROLE_PROGRESS_BAR, "AXProgressIndicator", "progress bar"},
    {ATSPI_ROLE_LEVEL_BAR, "AXLevelIndicator", "level bar"},
    {ATSPI_ROLE_MENU_BAR, "AXMenuBar", "menu bar"},
    {ATSPI_ROLE_MENU, "AXMenu", "menu"},
    {ATSPI_ROLE_POPUP_MENU, "AXMenu", "popup menu"},
    {ATSPI_ROLE_MENU_ITEM, "AXMenuItem", "menu item"},
    {ATSPI_ROLE_CHECK_MENU_ITEM, "AXMenuItem", "check menu item"},
    {ATSPI_ROLE_RADIO_MENU_ITEM, "AXMenuItem", "radio menu item"},
    {ATSPI_ROLE_TEAROFF_MENU_ITEM, "AXMenuItem", "tearoff menu item"},
    {ATSPI_ROLE_LABEL, "AXStaticText", "label"},
    {ATSPI_ROLE_STATIC, "AXStaticText", "static"},
    {ATSPI_ROLE_CAPTION, "AXStaticText", "caption"},
    // Browsers put a paragraph's text into static children of its own.
    {ATSPI_ROLE_PARAGRAPH, "AXGroup", "paragraph"},
    {ATSPI_ROLE_ACCELERATOR_LABEL, "AXStaticText", "accelerator label"},
    {ATSPI_ROLE_DESCRIPTION_TERM, "AXStaticText", "description term"},
    {ATSPI_ROLE_DESCRIPTION_VALUE, "AXStaticText", "description value"},
    {ATSPI_ROLE_HEADING, "AXHeading", "heading"},
    {ATSPI_ROLE_DOCUMENT_WEB, "AXWebArea", "document web"},
    {ATSPI_ROLE_FRAME, "AXWindow", "frame"},
    {ATSPI_ROLE_WINDOW, "AXWindow", "window"},
    {ATSPI_ROLE_DIALOG, "AXWindow", "dialog"},
    {ATSPI_ROLE_FILE_CHOOSER, "AXWindow", "file chooser"},
    {ATSPI_ROLE_ALERT, "AXWindow", "alert"},
    {ATSPI_ROLE_APPLICATION, "AXApplication", "application"},
    {ATSPI_ROLE_LIST, "AXList", "list"},
    {ATSPI_ROLE_LIST_BOX, "AXList", "list box"},
    {ATSPI_ROLE_DESCRIPTION_LIST, "AXList", "description list"},
    {ATSPI_ROLE_TABLE, "AXTable", "table"},
    {ATSPI_ROLE_TREE_TABLE, "AXOutline", "tree table"},
    {ATSPI_ROLE_TREE, "AXOutline", "tree"},
    {ATSPI_ROLE_TABLE_ROW, "AXRow", "table row"},
    {ATSPI_ROLE_TREE_ITEM, "AXRow", "tree item"},
    {ATSPI_ROLE_TABLE_CELL, "AXCell", "table cell"},
    {ATSPI_ROLE_COLUMN_HEADER, "AXCell", "column header"},
    {ATSPI_ROLE_ROW_HEADER, "AXCell", "row header"},
    {ATSPI_ROLE_TABLE_COLUMN_HEADER, "AXCell", "table column header"},
    {ATSPI_ROLE_TABLE_ROW_HEADER, "AXCell", "table row header"},
    {ATSPI_ROLE_IMAGE, "AXImage", "image"},
    {ATSPI_ROLE_ICON, "AXImage", "icon"},
    {ATSPI_ROLE_PAGE_TAB_LIST, "AXTabGroup", "page tab list"},
    {ATSPI_ROLE_SCROLL_PANE, "AXScrollArea", "scroll pane"},
    {ATSPI_ROLE_SPLIT_PANE, "AXSplitGroup", "split pane"},
    {ATSPI_ROLE_TOOL_BAR, "AXToolbar", "tool bar"},
    {ATSPI_ROLE_TOOL_TIP, "AXHelpTag", "tool tip"},
    {ATSPI_ROLE_SEPARATOR, "AXSplitter", "separator"},
    {ATSPI_ROLE_PANEL, "AXGroup", "panel"},
    {ATSPI_ROLE_FILLER, "AXGroup", "filler"},
    {ATSPI_ROLE_GROUPING, "AXGroup", "grouping"},
    {ATSPI_ROLE_SECTION, "AXGroup", "section"},
    {ATSPI_ROLE_FORM, "AXGroup", "form"},
    {ATSPI_ROLE_ARTICLE, "AXGroup", "article"},
    {ATSPI_ROLE_LANDMARK, "AXGroup", "landmark"},
    {ATSPI_ROLE_BLOCK_QUOTE, "AXGroup", "block quote"},
    {ATSPI_ROLE_HEADER, "AXGroup", "header"},
    {ATSPI_ROLE_FOOTER, "AXGroup", "footer"},
    {ATSPI_ROLE_VIEWPORT, "AXGroup", "viewport"},
    {ATSPI_ROLE_STATUS_BAR, "AXGroup", "status bar"},
    {ATSPI_ROLE_INFO_BAR, "AXGroup", "info bar"},
    {ATSPI_ROLE_NOTIFICATION, "AXGroup", "notification"},
    {ATSPI_ROLE_LOG, "AXGroup", "log"},
    {ATSPI_ROLE_ROOT_PANE, "AXGroup", "root pane"},
    {ATSPI_ROLE_LAYERED_PANE, "AXGroup", "layered pane"},
    {ATSPI_ROLE_INTERNAL_FRAME, "AXGroup", "internal frame"},
    {ATSPI_ROLE_EMBEDDED, "AXGroup", "embedded"},
    {ATSPI_ROLE_DRAWING_AREA, "AXGroup", "drawing area"},
    {ATSPI_ROLE_CANVAS, "AXGroup", "canvas"},
});

} // namespace

RoleName roleName(std::uint32_t atspiRole, std::uint64_t states, std::uint32_t parentRole) {
  switch (atspiRole) {
  case ATSPI_ROLE_PASSWORD_TEXT:
    return {"AXTextField", "AXSecureTextField"};
  case ATSPI_ROLE_ENTRY:
  case ATSPI_ROLE_TEXT:
    // A text view and an entry share the role; only the state tells them apart.
    if (states & STATE_BIT(ATSPI_STATE_MULTI_LINE)) return {"AXTextArea", {}};
    return {"AXTextField", {}};
  case ATSPI_ROLE_PAGE_TAB:
    return {"AXRadioButton", "AXTabButton"};
  case ATSPI_ROLE_LIST_ITEM:
    // A row of a selectable list (GTK's list box) can be chosen; an item of a document's list
    // is only text.
    if (states & STATE_BIT(ATSPI_STATE_SELECTABLE)) return {"AXRow", {}};
    return {"AXGroup", {}};
  case ATSPI_ROLE_MENU:
  case ATSPI_ROLE_MENU_ITEM:
    // GTK 3 gives the items of an in-window menu bar the role menu, GTK 4 menu item.
    if (parentRole == ATSPI_ROLE_MENU_BAR) return {"AXMenuBarItem", {}};
    break;
  default:
    break;
  }
  for (const auto& e : ROLES)
    if (static_cast<std::uint32_t>(e.atspi) == atspiRole) return {e.role, {}};
  return {"AXUnknown", {}};
}

bool roleKnown(std::uint32_t atspiRole) {
  if (atspiRole == ATSPI_ROLE_PAGE_TAB || atspiRole == ATSPI_ROLE_LIST_ITEM) return true;
  for (const auto& e : ROLES)
    if (static_cast<std::uint32_t>(e.atspi) == atspiRole) return true;
  return false;
}

std::string_view atspiRoleName(std::uint32_t atspiRole) {
  // The names AT-SPI itself gives (atspi_role_get_name), for the roles without an entry too.
  static constexpr std::array<std::string_view, ATSPI_ROLE_LAST_DEFINED> NAMES{
      "invalid",
      "accelerator label",
      "alert",
      "animation",
      "arrow",
      "calendar",
      "canvas",
      "check box",
      "check menu item",
      "color chooser",
      "column header",
      "combo box",
      "date editor",
      "desktop icon",
      "desktop frame",
      "dial",
      "dialog",
      "directory pane",
      "drawing area",
      "file chooser",
      "filler",
      "focus traversable",
      "font chooser",
      "frame",
      "glass pane",
      "html container",
      "icon",
      "image",
      "internal frame",
      "label",
      "layered pane",
      "list",
      "list item",
      "menu",
      "menu bar",
      "menu item",
      "option pane",
      "page tab",
      "page tab list",
      "panel",
      "password text",
      "popup menu",
      "progress bar",
      "push button",
      "radio button",
      "radio menu item",
      "root pane",
      "row header",
      "scroll bar",
      "scroll pane",
      "separator",
      "slider",
      "spin button",
      "split pane",
      "status bar",
      "table",
      "table cell",
      "table column header",
      "table row header",
      "tearoff menu item",
      "terminal",
      "text",
      "toggle button",
      "tool bar",
      "tool tip",
      "tree",
      "tree table",
      "unknown",
      "viewport",
      "window",
      "extended",
      "header",
      "footer",
      "paragraph",
      "ruler",
      "application",
      "autocomplete",
      "editbar",
      "embedded",
      "entry",
      "chart",
      "caption",
      "document frame",
      "heading",
      "page",
      "section",
      "redundant object",
      "form",
      "link",
      "input method window",
      "table row",
      "tree item",
      "document spreadsheet",
      "document presentation",
      "document text",
      "document web",
      "document email",
      "comment",
      "list box",
      "grouping",
      "image map",
      "notification",
      "info bar",
      "level bar",
      "title bar",
      "block quote",
      "audio",
      "video",
      "definition",
      "article",
      "landmark",
      "log",
      "marquee",
      "math",
      "rating",
      "timer",
      "static",
      "math fraction",
      "math root",
      "subscript",
      "superscript",
      "description list",
      "description term",
      "description value",
      "footnote",
      "content deletion",
      "content insertion",
      "mark",
      "suggestion",
      "push button menu"};
  return atspiRole < NAMES.size() ? NAMES[atspiRole] : std::string_view{};
}

bool textIsContent(std::uint32_t atspiRole) {
  switch (atspiRole) {
  case ATSPI_ROLE_PARAGRAPH:
  case ATSPI_ROLE_SECTION:
  case ATSPI_ROLE_HEADING:
  case ATSPI_ROLE_PAGE:
  case ATSPI_ROLE_DOCUMENT_WEB:
  case ATSPI_ROLE_DOCUMENT_FRAME:
  case ATSPI_ROLE_DOCUMENT_TEXT:
  case ATSPI_ROLE_DOCUMENT_EMAIL:
  case ATSPI_ROLE_TABLE_CELL:
  case ATSPI_ROLE_TERMINAL:
  case ATSPI_ROLE_BLOCK_QUOTE:
  case ATSPI_ROLE_ARTICLE:
  case ATSPI_ROLE_LIST_ITEM:
  case ATSPI_ROLE_FORM:
  case ATSPI_ROLE_FOOTER:
  case ATSPI_ROLE_HEADER:
  case ATSPI_ROLE_LANDMARK:
  case ATSPI_ROLE_CAPTION:
  case ATSPI_ROLE_DEFINITION:
  case ATSPI_ROLE_COMMENT:
  case ATSPI_ROLE_MARK:
  case ATSPI_ROLE_CONTENT_DELETION:
  case ATSPI_ROLE_CONTENT_INSERTION:
  case ATSPI_ROLE_SUBSCRIPT:
  case ATSPI_ROLE_SUPERSCRIPT:
  case ATSPI_ROLE_DESCRIPTION_VALUE:
    return true;
  default:
    return false;
  }
}

} // namespace plenk::atspi
