// What one element is called and what of it may be shown: the element record of the elements
// answer.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/json.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace plenk::hands {

// The short role name: "tab" for a tab button, else the role without its "AX" prefix, lowercased.
std::string shortRole(std::string_view role, const std::optional<std::string>& subrole);

// The first of title, description, placeholder and help that is not blank, else the value (or
// title) of the title element; clipped to MAX_FIELD_CHARS; "" when nothing labels it.
std::string labelOf(Accessibility& ax, const Element& element);

// The element record: role, label, x, y, w, h, enabled, and `secure` (password fields, which
// never give a value), `value` or `focused` only when true or present. `role` and `frame` are as
// the caller read them ("" for an unreadable role).
Json describe(Accessibility& ax, const Element& element, std::string_view role, const Rect& frame,
              const std::optional<Element>& focused);

} // namespace plenk::hands
