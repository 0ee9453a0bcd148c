#include "hands/ax/readers.hpp"

#include "platform/text.hpp"

#include <charconv>
#include <cmath>

namespace plenk::hands {

namespace {

template <class T>
std::optional<T> axAs(Accessibility& ax, const Element& element, std::string_view name) {
  auto value = axAttr(ax, element, name);
  if (!value) return std::nullopt;
  if (auto* v = std::get_if<T>(&*value)) return std::move(*v);
  return std::nullopt;
}

} // namespace

std::optional<AttrValue> axAttr(Accessibility& ax, const Element& element, std::string_view name) {
  auto result = ax.copyAttribute(element, name);
  if (!result.ok()) return std::nullopt;
  return std::move(result.value);
}

std::optional<std::string> axString(Accessibility& ax, const Element& element,
                                    std::string_view name) {
  return axAs<std::string>(ax, element, name);
}

std::optional<bool> axBool(Accessibility& ax, const Element& element, std::string_view name) {
  auto value = axAttr(ax, element, name);
  if (!value) return std::nullopt;
  if (auto* b = std::get_if<bool>(&*value)) return *b;
  if (auto* d = std::get_if<double>(&*value)) return *d != 0;
  return std::nullopt;
}

std::optional<Element> axElement(Accessibility& ax, const Element& element, std::string_view name) {
  auto found = axAs<Element>(ax, element, name);
  if (found && !*found) return std::nullopt; // a null reference names nothing
  return found;
}

std::vector<Element> axChildren(Accessibility& ax, const Element& element) {
  auto children = axAs<std::vector<Element>>(ax, element, "AXChildren");
  if (!children) return {};
  return std::move(*children);
}

std::optional<plenk::Point> axPoint(Accessibility& ax, const Element& element,
                                    std::string_view name) {
  return axAs<plenk::Point>(ax, element, name);
}

std::optional<Size> axSize(Accessibility& ax, const Element& element, std::string_view name) {
  return axAs<Size>(ax, element, name);
}

std::optional<Rect> axFrame(Accessibility& ax, const Element& element) {
  auto position = axPoint(ax, element, "AXPosition");
  auto size = axSize(ax, element, "AXSize");
  if (!position || !size) return std::nullopt;
  return Rect{*position, *size};
}

std::string numberText(double value) {
  char buffer[64];
  // Whole numbers print without a point or exponent, as the desktop writes them.
  if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e18) {
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(value));
    return std::string(buffer, end);
  }
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

std::optional<std::string> axValueText(Accessibility& ax, const Element& element) {
  auto value = axAttr(ax, element, "AXValue");
  if (!value) return std::nullopt;
  if (auto* s = std::get_if<std::string>(&*value)) return std::move(*s);
  if (auto* d = std::get_if<double>(&*value)) return numberText(*d);
  // A boolean is a number to the desktop: a checkbox's value reads 1 or 0.
  if (auto* b = std::get_if<bool>(&*value)) return std::string(*b ? "1" : "0");
  return std::nullopt;
}

std::string clip(std::string_view text, std::size_t limit) {
  std::string oneLine(text);
  for (char& c : oneLine)
    if (c == '\n') c = ' ';
  std::string_view trimmed = text::trim(oneLine);
  // A text of at most `limit` bytes has at most `limit` characters: no need to count them.
  if (trimmed.size() <= limit) return std::string(trimmed);
  return text::graphemePrefix(trimmed, limit);
}

} // namespace plenk::hands
