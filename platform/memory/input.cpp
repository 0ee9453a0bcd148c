#include "platform/memory/input.hpp"

namespace plenk {

using Lock = std::lock_guard<std::mutex>;

MemoryInput::MemoryInput(CallLog& log, Scheduler& scheduler, MemoryAccessibility& tree)
    : log_(log), scheduler_(scheduler), tree_(tree) {}

void MemoryInput::refuseSources(bool refuse) {
  Lock lock(mutex_);
  refuseSources_ = refuse;
}

void MemoryInput::refuseEventsAfter(std::optional<int> creations) {
  Lock lock(mutex_);
  creationsLeft_ = creations;
}

std::vector<PostedEvent> MemoryInput::events() {
  Lock lock(mutex_);
  return events_;
}

void MemoryInput::clearEvents() {
  Lock lock(mutex_);
  events_.clear();
}

bool MemoryInput::writeEventsTo(const std::string& path) {
  return file_.open(path);
}

bool MemoryInput::screenCaptureAllowed() {
  log_.record("screenCaptureAllowed", "", "");
  return screenAllowed;
}

bool MemoryInput::requestScreenCapture() {
  log_.record("requestScreenCapture", "", "");
  ++screenPrompts;
  if (!screenAllowed && screenPromptGrants) screenAllowed = true;
  return screenAllowed;
}

std::optional<EventSource> MemoryInput::createSource() {
  log_.record("createSource", "", "");
  Lock lock(mutex_);
  if (refuseSources_) return std::nullopt;
  return EventSource{nextSource_++};
}

bool MemoryInput::allowCreation() {
  Lock lock(mutex_);
  if (!creationsLeft_) return true;
  if (*creationsLeft_ <= 0) return false;
  --*creationsLeft_;
  return true;
}

std::optional<KeyEvent> MemoryInput::createKeyEvent(const std::optional<EventSource>& source,
                                                    std::uint16_t keyCode, bool down) {
  log_.record("createKeyEvent", "", std::to_string(keyCode) + (down ? " down" : " up"));
  if (!allowCreation()) return std::nullopt;
  return KeyEvent{.source = source, .keyCode = keyCode, .down = down};
}

std::optional<MouseEvent> MemoryInput::createMouseEvent(const std::optional<EventSource>& source,
                                                        MouseEventType type, Point point,
                                                        MouseButton button) {
  log_.record("createMouseEvent", "", std::string(mouseEventTypeName(type)));
  if (!allowCreation()) return std::nullopt;
  return MouseEvent{.source = source, .type = type, .point = point, .button = button};
}

std::optional<ScrollEvent> MemoryInput::createScrollEvent(const std::optional<EventSource>& source,
                                                          std::int32_t vertical,
                                                          std::int32_t horizontal) {
  log_.record("createScrollEvent", "", std::to_string(vertical) + "," + std::to_string(horizontal));
  if (!allowCreation()) return std::nullopt;
  return ScrollEvent{.source = source, .vertical = vertical, .horizontal = horizontal};
}

void MemoryInput::post(const InputEvent& event) {
  scheduler_.applyDue();
  PostedEvent posted{log_.elapsed(), event, ""};
  std::optional<std::uint16_t> keyDown;
  std::vector<Element> pressed; // the element under a press and its parents
  if (const auto* key = std::get_if<KeyEvent>(&event)) {
    log_.record("post", "", "key");
    posted.target = tree_.describe(tree_.focused());
    if (key->down) keyDown = key->keyCode;
  } else if (const auto* mouse = std::get_if<MouseEvent>(&event)) {
    log_.record("post", "", "mouse");
    {
      Lock lock(mutex_);
      pointer_ = mouse->point;
    }
    auto hit = tree_.hitAndParents(mouse->point);
    if (!hit.empty()) posted.target = tree_.describe(hit.front());
    if (mouse->type == MouseEventType::leftDown || mouse->type == MouseEventType::rightDown)
      pressed = std::move(hit);
  } else if (const auto* scroll = std::get_if<ScrollEvent>(&event)) {
    log_.record("post", "", "scroll");
    Point at;
    {
      Lock lock(mutex_);
      if (scroll->location) pointer_ = *scroll->location;
      at = pointer_;
    }
    auto hit = tree_.hitAndParents(at);
    if (!hit.empty()) posted.target = tree_.describe(hit.front());
  }
  if (log_.keeping()) {
    Lock lock(mutex_);
    events_.push_back(posted);
  }
  file_.write(posted);
  if (keyDown) scheduler_.keyDown(*keyDown);
  if (!pressed.empty()) scheduler_.pressed(pressed);
}

} // namespace plenk
