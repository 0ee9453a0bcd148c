// The in-memory input events: events are made as asked (or refused when told) and every posted
// event is recorded with the desktop's time and what it reached in the accessibility tree, and
// written to the event log when one is open.
#pragma once

#include "platform/input_events.hpp"
#include "platform/memory/accessibility.hpp"
#include "platform/memory/call_log.hpp"
#include "platform/memory/event_log.hpp"
#include "platform/memory/scheduler.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace plenk {

class MemoryInput : public InputEvents {
public:
  MemoryInput(CallLog& log, Scheduler& scheduler, MemoryAccessibility& tree);

  // ---- permissions
  std::atomic<bool> screenAllowed{false};
  // Whether the user grants the permission when prompted, and how often the prompt was asked for.
  std::atomic<bool> screenPromptGrants{false};
  std::atomic<int> screenPrompts{0};

  // No event source is given (events are then made without one).
  void refuseSources(bool refuse);
  // After `creations` more events are created, every creation is refused (0: refuse at once);
  // none: never refuse.
  void refuseEventsAfter(std::optional<int> creations);
  // The posted events (kept while the call log keeps).
  std::vector<PostedEvent> events();
  void clearEvents();
  // Writes every posted event from now on as one JSON line to this file (replacing it); false
  // when it cannot be opened.
  bool writeEventsTo(const std::string& path);

  // ---- InputEvents
  bool screenCaptureAllowed() override;
  bool requestScreenCapture() override;
  std::optional<EventSource> createSource() override;
  std::optional<KeyEvent> createKeyEvent(const std::optional<EventSource>& source,
                                         std::uint16_t keyCode, bool down) override;
  std::optional<MouseEvent> createMouseEvent(const std::optional<EventSource>& source,
                                             MouseEventType type, Point point,
                                             MouseButton button) override;
  std::optional<ScrollEvent> createScrollEvent(const std::optional<EventSource>& source,
                                               std::int32_t vertical,
                                               std::int32_t horizontal) override;
  void post(const InputEvent& event) override;

private:
  bool allowCreation();

  CallLog& log_;
  Scheduler& scheduler_;
  MemoryAccessibility& tree_;
  EventLog file_;

  std::mutex mutex_;
  bool refuseSources_ = false;
  std::optional<int> creationsLeft_;
  std::uint64_t nextSource_ = 1;
  Point pointer_; // where the last mouse event put the pointer
  std::vector<PostedEvent> events_;
};

} // namespace plenk
