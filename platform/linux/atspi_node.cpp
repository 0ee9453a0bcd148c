#include "platform/linux/atspi_node.hpp"

#include <algorithm>
#include <cctype>
#include <set>

namespace plenk::atspi {

std::string mappedRole(const Node& n) {
  return std::string(atspi::roleName(n.role, n.states, n.parentRole).role);
}

bool isWindowRole(std::uint32_t role) {
  return role == ATSPI_ROLE_FRAME || role == ATSPI_ROLE_WINDOW || role == ATSPI_ROLE_DIALOG ||
         role == ATSPI_ROLE_FILE_CHOOSER || role == ATSPI_ROLE_ALERT;
}

bool isTextRole(std::uint32_t role) {
  switch (role) {
  case ATSPI_ROLE_TEXT:
  case ATSPI_ROLE_ENTRY:
  case ATSPI_ROLE_LABEL:
  case ATSPI_ROLE_STATIC:
  case ATSPI_ROLE_CAPTION:
  case ATSPI_ROLE_TERMINAL:
  case ATSPI_ROLE_DOCUMENT_TEXT:
  case ATSPI_ROLE_EDITBAR:
  case ATSPI_ROLE_SPIN_BUTTON:
  case ATSPI_ROLE_DESCRIPTION_TERM:
  case ATSPI_ROLE_DESCRIPTION_VALUE:
  case ATSPI_ROLE_HEADING:
  case ATSPI_ROLE_LIST_ITEM:
    return true;
  default:
    return false;
  }
}

// Controls that are one thing to the user: their own labels and parts are not elements of their
// own (GTK 4 puts a label inside every button).
bool isAtomic(std::uint32_t role) {
  return role == ATSPI_ROLE_PUSH_BUTTON || role == ATSPI_ROLE_TOGGLE_BUTTON ||
         role == ATSPI_ROLE_CHECK_BOX || role == ATSPI_ROLE_RADIO_BUTTON ||
         role == ATSPI_ROLE_PUSH_BUTTON_MENU;
}

// Where hit-testing stops descending: what a pointer acts on as a whole.
bool stopsHitTest(std::uint32_t role) {
  return isAtomic(role) || role == ATSPI_ROLE_LINK || role == ATSPI_ROLE_MENU_ITEM ||
         role == ATSPI_ROLE_ENTRY || role == ATSPI_ROLE_TEXT || role == ATSPI_ROLE_PASSWORD_TEXT ||
         role == ATSPI_ROLE_COMBO_BOX || role == ATSPI_ROLE_SLIDER ||
         role == ATSPI_ROLE_SPIN_BUTTON;
}

// Whether an element is on screen, for a toolkit that sets the showing state (`reports`) or one
// that sets none. An element not read yet, or unreadable, is not taken for hidden.
bool shown(const Node& n, bool reports) {
  return !reports || n.kind != Node::Kind::object || !n.basicsKnown ||
         n.basicsStatus != AxStatus::ok || (n.states & bit(ATSPI_STATE_SHOWING));
}

bool isValueRole(std::uint32_t role) {
  return role == ATSPI_ROLE_SLIDER || role == ATSPI_ROLE_SCROLL_BAR ||
         role == ATSPI_ROLE_PROGRESS_BAR || role == ATSPI_ROLE_LEVEL_BAR || role == ATSPI_ROLE_DIAL;
}

bool isCheckable(std::uint32_t role) {
  return role == ATSPI_ROLE_CHECK_BOX || role == ATSPI_ROLE_RADIO_BUTTON ||
         role == ATSPI_ROLE_TOGGLE_BUTTON || role == ATSPI_ROLE_CHECK_MENU_ITEM ||
         role == ATSPI_ROLE_RADIO_MENU_ITEM;
}

// Roles whose elements the readers ask for rectangles, texts and labels; the look ahead reads
// those facts for them only.
bool isCandidate(const Node& n) {
  static const std::set<std::string> GROUPS{
      "AXGroup",   "AXUnknown",    "AXList",    "AXScrollArea", "AXMenu",        "AXTable",
      "AXOutline", "AXSplitGroup", "AXToolbar", "AXTabGroup",   "AXApplication", "AXMenuBar"};
  return !GROUPS.contains(mappedRole(n));
}

// GTK 4 names a widget without a label after its class ("GtkEntry"): that is no name.
bool isClassName(const std::string& name) {
  if (name.size() < 4 || name.compare(0, 3, "Gtk") != 0 || !std::isupper(name[3])) return false;
  return std::all_of(name.begin(), name.end(), [](char c) { return std::isalnum(c); });
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
    s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
    s.remove_suffix(1);
  return s;
}

bool isBlank(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isspace(c); });
}

// The state set as AT-SPI sends it (an array of 32-bit words); words past the second name no
// state and are left out.
std::uint64_t stateBits(GVariant* words) {
  std::uint64_t bits = 0;
  GVariantIter it;
  g_variant_iter_init(&it, words);
  guint32 word = 0;
  for (int i = 0; i < 2 && g_variant_iter_next(&it, "u", &word); ++i)
    bits |= std::uint64_t{word} << (32 * i);
  return bits;
}

} // namespace plenk::atspi
