// The password-field test, shared by screen reading and by typing's guard.
#pragma once

#include "platform/accessibility.hpp"

namespace plenk::hands {

// True when the element is a password field: its "AXRole", else its "AXSubrole", is exactly
// "AXSecureTextField". The subrole is not read when the role already says so (at most two reads).
bool isSecure(Accessibility& ax, const Element& element);

} // namespace plenk::hands
