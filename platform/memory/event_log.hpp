// The event log of the simulated desktop: one JSON line per posted event (docs/scene.md).
#pragma once

#include "platform/fd.hpp"
#include "platform/input_events.hpp"

#include <mutex>
#include <string>

namespace plenk {

// One event the logic posted.
struct PostedEvent {
  double at = 0; // seconds of the desktop's clock since it was made
  InputEvent event;
  // What the event reached: the element under a mouse press or scroll, the focused element for a
  // key; its name and role ("save AXButton \"Save\""), or "".
  std::string target;
};

// The JSON object of one posted event, as the event log writes it.
std::string eventLine(const PostedEvent& event);

class EventLog {
public:
  // Writes every event from now on to this file (replacing it); false when it cannot be opened.
  bool open(const std::string& path);
  // Writes the event's line when a file is open.
  void write(const PostedEvent& event);

private:
  std::mutex mutex_;
  FileDescriptor file_;
};

} // namespace plenk
