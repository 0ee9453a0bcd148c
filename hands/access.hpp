// The accessibility guard that every verb reading or driving the screen calls first.
#pragma once

#include "hands/context.hpp"

namespace plenk::hands {

// Throws HandsError "no_permission" unless the process is trusted for accessibility now.
void requireAccessibility(Hands& hands);

} // namespace plenk::hands
