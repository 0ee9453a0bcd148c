#include "hands/input/events.hpp"

#include "hands/ax/readers.hpp"
#include "hands/error.hpp"

#include <string>

namespace plenk::hands {

namespace {
constexpr int KEY_HOLD_MS = 15;
constexpr int CHUNK_HOLD_MS = 8;
constexpr int CHUNK_AFTER_MS = 12;
// A typed chunk's own key code does not matter: its text replaces it.
constexpr std::uint16_t CHUNK_KEY_CODE = 0;
} // namespace

std::optional<EventSource> eventSource(Hands& hands) {
  return hands.input.createSource();
}

void postKey(Hands& hands, std::uint16_t keyCode, std::uint64_t flags,
             const std::optional<EventSource>& source) {
  auto down = hands.input.createKeyEvent(source, keyCode, true);
  auto up = hands.input.createKeyEvent(source, keyCode, false);
  if (!down || !up) throw HandsError{"helper_failed", "macOS would not create the key press."};
  down->flags = flags;
  up->flags = flags;
  hands.input.post(*down);
  pauseMillis(hands, KEY_HOLD_MS);
  hands.input.post(*up);
}

void typeChunk(Hands& hands, std::u16string_view units, const std::optional<EventSource>& source) {
  auto down = hands.input.createKeyEvent(source, CHUNK_KEY_CODE, true);
  auto up = hands.input.createKeyEvent(source, CHUNK_KEY_CODE, false);
  if (!down || !up) throw HandsError{"helper_failed", "macOS would not create the typing."};
  down->flags = 0;
  up->flags = 0;
  down->text = std::u16string(units);
  up->text = std::u16string(units);
  hands.input.post(*down);
  pauseMillis(hands, CHUNK_HOLD_MS);
  hands.input.post(*up);
  pauseMillis(hands, CHUNK_AFTER_MS);
}

void moveMouse(Hands& hands, plenk::Point point, const std::optional<EventSource>& source) {
  auto moved =
      hands.input.createMouseEvent(source, MouseEventType::moved, point, MouseButton::left);
  if (!moved) return;
  moved->flags = 0;
  hands.input.post(*moved);
}

std::optional<Element> focusedElementNow(Hands& hands) {
  // No messaging timeout here: the system-wide element answers for whichever app has focus.
  return axElement(hands.ax, hands.ax.systemWide(), "AXFocusedUIElement");
}

void pauseMillis(Hands& hands, int millis) {
  hands.clock.sleepMicros(static_cast<std::int64_t>(millis) * 1000);
}

} // namespace plenk::hands
