// The in-memory desktop: what tests and the simulated desktop run on.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/input_events.hpp"
#include "platform/workspace.hpp"

#include <atomic>

namespace plenk {

// Permissions only, until the in-memory desktop lands: an empty desktop with nothing running.
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

  Element systemWide() override { return {}; }
  Element application(int) override { return {}; }
  void setMessagingTimeout(const Element&, float) override {}
  AxResult<AttrValue> copyAttribute(const Element&, std::string_view) override { return {}; }
  AxStatus setAttribute(const Element&, std::string_view, const AttrValue&) override {
    return AxStatus::failure;
  }
  AxResult<Element> elementAtPosition(const Element&, float, float) override { return {}; }
  AxResult<int> pid(const Element&) override { return {}; }

  std::optional<EventSource> createSource() override { return std::nullopt; }
  std::optional<KeyEvent> createKeyEvent(const std::optional<EventSource>&, std::uint16_t,
                                         bool) override {
    return std::nullopt;
  }
  std::optional<MouseEvent> createMouseEvent(const std::optional<EventSource>&, MouseEventType,
                                             Point, MouseButton) override {
    return std::nullopt;
  }
  std::optional<ScrollEvent> createScrollEvent(const std::optional<EventSource>&, std::int32_t,
                                               std::int32_t) override {
    return std::nullopt;
  }
  void post(const InputEvent&) override {}

  std::vector<RunningApp> runningApplications() override { return {}; }
  std::optional<RunningApp> frontmostApplication() override { return std::nullopt; }
  std::optional<RunningApp> runningApplication(int) override { return std::nullopt; }
  bool activate(int) override { return false; }
  void openApplication(const std::string&, const OpenConfiguration&, OpenHandler h) override {
    h(std::nullopt, std::nullopt);
  }
  std::optional<std::string> applicationPathForBundleId(const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> bundleIdentifier(const std::string&) override { return std::nullopt; }
  std::optional<std::vector<std::string>> contentsOfDirectory(const std::string&) override {
    return std::nullopt;
  }
  std::string homeDirectory() override { return "/home/user"; }
};

} // namespace plenk
