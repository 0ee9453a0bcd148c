// The input primitives that the pointer, key and typing verbs share: the event source, one key
// press, one typed chunk, one pointer move, and the element that has the keyboard focus.
#pragma once

#include "hands/context.hpp"
#include "platform/accessibility.hpp"
#include "platform/input_events.hpp"

#include <cstdint>
#include <optional>
#include <string_view>

namespace plenk::hands {

// A new source with the hardware's state for every event of one request, or none: events are
// then made without a source, which is no failure.
std::optional<EventSource> eventSource(Hands& hands);

// One press of a key: down, 15 ms, up, both carrying exactly `flags`. Throws HandsError
// "helper_failed" when the system makes no event (nothing is posted then).
void postKey(Hands& hands, std::uint16_t keyCode, std::uint64_t flags,
             const std::optional<EventSource>& source);

// One chunk of text as a key pair that types these UTF-16 units: down, 8 ms, up, 12 ms. Throws
// HandsError "helper_failed" when the system makes no event (nothing is posted then).
void typeChunk(Hands& hands, std::u16string_view units, const std::optional<EventSource>& source);

// One pointer move to `point`. When the system makes no event nothing is posted and nothing said.
void moveMouse(Hands& hands, plenk::Point point, const std::optional<EventSource>& source);

// The element that has the keyboard focus anywhere on the system, or nothing.
std::optional<Element> focusedElementNow(Hands& hands);

// Sleeps on the program's clock.
void pauseMillis(Hands& hands, int millis);

} // namespace plenk::hands
