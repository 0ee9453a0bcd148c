#include "hands/ax/describe.hpp"

#include "hands/ax/readers.hpp"
#include "hands/constants.hpp"
#include "platform/text.hpp"

#include <array>

namespace plenk::hands {

namespace {

// Tried in this order; the first that is not blank labels the element.
constexpr std::array<std::string_view, 4> LABEL_ATTRIBUTES{"AXTitle", "AXDescription",
                                                           "AXPlaceholderValue", "AXHelp"};

constexpr std::string_view SECURE_ROLE = "AXSecureTextField";

} // namespace

std::string shortRole(std::string_view role, const std::optional<std::string>& subrole) {
  if (role == "AXRadioButton" && subrole == "AXTabButton") return "tab";
  if (role.starts_with("AX")) role.remove_prefix(2);
  return text::lower(role);
}

std::string labelOf(Accessibility& ax, const Element& element) {
  for (std::string_view name : LABEL_ATTRIBUTES) {
    auto label = axString(ax, element, name);
    if (label && !text::trim(*label).empty()) return clip(*label, MAX_FIELD_CHARS);
  }
  if (auto titleElement = axElement(ax, element, "AXTitleUIElement")) {
    // The title element's value wins even when empty; its title only when it has no value.
    auto label = axValueText(ax, *titleElement);
    if (!label) label = axString(ax, *titleElement, "AXTitle");
    if (label) return clip(*label, MAX_FIELD_CHARS);
  }
  return "";
}

Json describe(Accessibility& ax, const Element& element, std::string_view role, const Rect& frame,
              const std::optional<Element>& focused) {
  auto subrole = axString(ax, element, "AXSubrole");
  bool secure = role == SECURE_ROLE || subrole == SECURE_ROLE;
  Json record = Json::object();
  record["role"] = secure ? std::string("textfield") : shortRole(role, subrole);
  record["label"] = labelOf(ax, element);
  record["x"] = frame.origin.x;
  record["y"] = frame.origin.y;
  record["w"] = frame.size.width;
  record["h"] = frame.size.height;
  record["enabled"] = axBool(ax, element, "AXEnabled").value_or(true);
  if (secure) {
    // A password field never gives its value: it is not even read.
    record["secure"] = true;
  } else if (auto value = axValueText(ax, element); value && !value->empty()) {
    record["value"] = clip(*value, MAX_FIELD_CHARS);
  }
  if (focused && *focused == element) record["focused"] = true;
  return record;
}

} // namespace plenk::hands
