// Synthesised input (keys, typed text, mouse, scroll wheel) and the screen-capture permission.
//
// Events are made in two steps, as on the desktop: the platform creates an event (or refuses to,
// and then nothing is posted), the logic fills in the fields it wants (flags, click state,
// typed text, location), then posts it. Every event goes to the system's input stream as if it
// came from the hardware.
#pragma once

#include "platform/accessibility.hpp" // Point

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace plenk {

// Modifier flags carried by key events (the values of the desktop's event flags).
inline constexpr std::uint64_t FLAG_SHIFT = 0x20000;
inline constexpr std::uint64_t FLAG_CONTROL = 0x40000;
inline constexpr std::uint64_t FLAG_OPTION = 0x80000;
inline constexpr std::uint64_t FLAG_COMMAND = 0x100000;

// Where events come from; the same source serves every event of one request. An id for logs.
struct EventSource {
  std::uint64_t id = 0;
  friend bool operator==(const EventSource&, const EventSource&) = default;
};

// A key going down or up. With `text` set the event types those UTF-16 units instead of its key
// code (a typed chunk has key code 0).
struct KeyEvent {
  std::optional<EventSource> source;
  std::uint16_t keyCode = 0;
  bool down = true;
  std::uint64_t flags = 0;
  std::u16string text{};
  friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

// The desktop's mouse event types (their numeric values are the desktop's own).
enum class MouseEventType : int {
  leftDown = 1,
  leftUp = 2,
  rightDown = 3,
  rightUp = 4,
  moved = 5,
};

enum class MouseButton : int { left = 0, right = 1 };

struct MouseEvent {
  std::optional<EventSource> source;
  MouseEventType type = MouseEventType::moved;
  Point point;
  MouseButton button = MouseButton::left;
  // 1 for a single click or the first of a double click, 2 for its second; 0 when not set.
  std::int64_t clickState = 0;
  std::uint64_t flags = 0;
  friend bool operator==(const MouseEvent&, const MouseEvent&) = default;
};

// One turn of the scroll wheels in whole lines; signs are handed over unchanged.
struct ScrollEvent {
  std::optional<EventSource> source;
  std::int32_t vertical = 0;   // wheel 1
  std::int32_t horizontal = 0; // wheel 2
  // Where the scroll happens; at the pointer when not set.
  std::optional<Point> location{};
  std::uint64_t flags = 0;
  friend bool operator==(const ScrollEvent&, const ScrollEvent&) = default;
};

using InputEvent = std::variant<KeyEvent, MouseEvent, ScrollEvent>;

std::string_view mouseEventTypeName(MouseEventType type); // "moved", "leftDown", ...

struct InputEvents {
  virtual ~InputEvents() = default;
  // Whether screen capture is allowed now; never prompts.
  virtual bool screenCaptureAllowed() = 0;
  // Asks the system to prompt for screen capture if it never asked; the state after the call.
  virtual bool requestScreenCapture() = 0;

  // Whether every character of `text` can be typed now (a desktop that cannot type some
  // characters refuses the text before any of it is typed).
  virtual bool canType(std::u16string_view /*text*/) { return true; }
  // A new event source with the hardware's state, or none (events are then made without one).
  virtual std::optional<EventSource> createSource() = 0;
  // A key event for a virtual key code, or none when the system refuses.
  virtual std::optional<KeyEvent> createKeyEvent(const std::optional<EventSource>& source,
                                                 std::uint16_t keyCode, bool down) = 0;
  // A mouse event at a point with a button, or none when the system refuses.
  virtual std::optional<MouseEvent> createMouseEvent(const std::optional<EventSource>& source,
                                                     MouseEventType type, Point point,
                                                     MouseButton button) = 0;
  // A scroll-wheel event in lines (wheel 1 vertical, wheel 2 horizontal), or none.
  virtual std::optional<ScrollEvent> createScrollEvent(const std::optional<EventSource>& source,
                                                       std::int32_t vertical,
                                                       std::int32_t horizontal) = 0;
  // Posts an event made by this interface into the input stream.
  virtual void post(const InputEvent& event) = 0;
};

} // namespace plenk
