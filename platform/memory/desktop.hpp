// The in-memory desktop: what tests and the simulated desktop run on.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/input_events.hpp"
#include "platform/workspace.hpp"

#include <atomic>

namespace plenk {

struct MemoryDesktop final : Accessibility, InputEvents, Workspace {
  // Permissions as a test or scene sets them.
  std::atomic<bool> trusted{false};
  std::atomic<bool> screenAllowed{false};
  // Whether the user grants a permission when prompted.
  std::atomic<bool> accessibilityPromptGrants{false};
  std::atomic<bool> screenPromptGrants{false};
  // How often each prompt was asked for.
  std::atomic<int> accessibilityPrompts{0};
  std::atomic<int> screenPrompts{0};

  bool isTrusted() override { return trusted; }
  bool isTrustedWithPrompt() override;
  bool screenCaptureAllowed() override { return screenAllowed; }
  bool requestScreenCapture() override;
};

} // namespace plenk
