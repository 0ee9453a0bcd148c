// Typed readers over the accessibility seam. None of them fails: a failed read, or a value of
// another kind, is an absent answer. Each makes one platform read per attribute.
#pragma once

#include "platform/accessibility.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plenk::hands {

// The raw value, or nothing when the status is not ok or no value came.
std::optional<AttrValue> axAttr(Accessibility& ax, const Element& element, std::string_view name);
// A string value, unchanged.
std::optional<std::string> axString(Accessibility& ax, const Element& element,
                                    std::string_view name);
// A boolean, or whether a number is non-zero.
std::optional<bool> axBool(Accessibility& ax, const Element& element, std::string_view name);
std::optional<Element> axElement(Accessibility& ax, const Element& element, std::string_view name);
// "AXChildren" in the order given; empty when it cannot be read as a list of elements.
std::vector<Element> axChildren(Accessibility& ax, const Element& element);
std::optional<plenk::Point> axPoint(Accessibility& ax, const Element& element,
                                    std::string_view name);
std::optional<Size> axSize(Accessibility& ax, const Element& element, std::string_view name);
// "AXPosition" and "AXSize" together (always both reads), or nothing when either is missing.
std::optional<Rect> axFrame(Accessibility& ax, const Element& element);

// "AXValue" as text: a string unchanged, a number in decimal (integral ones without a point, a
// boolean as 1 or 0); nothing for any other kind or a failed read.
std::optional<std::string> axValueText(Accessibility& ax, const Element& element);

// Decimal text of a number as the desktop writes one: 3, 42, 0.5.
std::string numberText(double value);

// The text on one line: line feeds become spaces, white space is trimmed from both ends, and the
// result is cut to its first `limit` user-perceived characters (no ellipsis).
std::string clip(std::string_view text, std::size_t limit);

} // namespace plenk::hands
