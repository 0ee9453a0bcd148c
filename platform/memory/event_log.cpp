#include "platform/memory/event_log.hpp"

#include "platform/text.hpp"

#include <cmath>
#include <fcntl.h>
#include <nlohmann/json.hpp>

namespace plenk {

std::string eventLine(const PostedEvent& posted) {
  nlohmann::ordered_json j;
  // Whole microseconds, so that a line shows what the clock said and no rounding noise.
  j["t_ms"] = static_cast<double>(std::llround(posted.at * 1e6)) / 1000.0;
  auto source = [](const std::optional<EventSource>& s) {
    return s ? nlohmann::ordered_json(s->id) : nlohmann::ordered_json(nullptr);
  };
  if (const auto* key = std::get_if<KeyEvent>(&posted.event)) {
    j["kind"] = "key";
    j["code"] = key->keyCode;
    j["down"] = key->down;
    j["flags"] = key->flags;
    if (!key->text.empty()) {
      j["text"] = text::fromUtf16(key->text);
      j["units"] = std::vector<int>(key->text.begin(), key->text.end());
    }
    j["source"] = source(key->source);
  } else if (const auto* mouse = std::get_if<MouseEvent>(&posted.event)) {
    j["kind"] = "mouse";
    j["type"] = mouseEventTypeName(mouse->type);
    j["x"] = mouse->point.x;
    j["y"] = mouse->point.y;
    j["button"] = mouse->button == MouseButton::left ? "left" : "right";
    j["click"] = mouse->clickState;
    j["flags"] = mouse->flags;
    j["source"] = source(mouse->source);
  } else if (const auto* scroll = std::get_if<ScrollEvent>(&posted.event)) {
    j["kind"] = "scroll";
    j["dy"] = scroll->vertical;
    j["dx"] = scroll->horizontal;
    if (scroll->location) {
      j["x"] = scroll->location->x;
      j["y"] = scroll->location->y;
    }
    j["flags"] = scroll->flags;
    j["source"] = source(scroll->source);
  }
  if (!posted.target.empty()) j["target"] = posted.target;
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

bool EventLog::open(const std::string& path) {
  std::lock_guard lock(mutex_);
  file_ = FileDescriptor(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  return bool(file_);
}

void EventLog::write(const PostedEvent& event) {
  std::lock_guard lock(mutex_);
  // Unbuffered: a reader of the log sees each event as soon as it is posted.
  if (file_) writeAll(file_.get(), eventLine(event) + "\n");
}

} // namespace plenk
