#include "hands/access.hpp"

#include "hands/error.hpp"

namespace plenk::hands {

void requireAccessibility(Hands& hands) {
  if (!hands.ax.isTrusted())
    throw HandsError{"no_permission",
                     "Accessibility is not allowed for Plenk AI in System Settings."};
}

} // namespace plenk::hands
