#include "platform/memory/desktop.hpp"

namespace plenk {

bool MemoryDesktop::isTrustedWithPrompt() {
  ++accessibilityPrompts;
  if (!trusted && accessibilityPromptGrants) trusted = true;
  return trusted;
}

bool MemoryDesktop::requestScreenCapture() {
  ++screenPrompts;
  if (!screenAllowed && screenPromptGrants) screenAllowed = true;
  return screenAllowed;
}

} // namespace plenk
