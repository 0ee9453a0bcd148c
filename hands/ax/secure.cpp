#include "hands/ax/secure.hpp"

#include "hands/ax/readers.hpp"

namespace plenk::hands {

bool isSecure(Accessibility& ax, const Element& element) {
  if (axString(ax, element, "AXRole") == "AXSecureTextField") return true;
  return axString(ax, element, "AXSubrole") == "AXSecureTextField";
}

} // namespace plenk::hands
