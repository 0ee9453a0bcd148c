// The bounded walk over a window: its budget (`Walk`) and `collect`, which lists the
// interactive elements and visible texts it finds.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/clock.hpp"
#include "platform/json.hpp"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace plenk::hands {

// The budget of one walk: a count of visited elements and a deadline WALK_SECONDS after creation.
// Time is kept in whole microseconds, so that a reading at exactly the deadline is exactly "not
// yet late" on any clock.
struct Walk {
  explicit Walk(Clock& clock);

  Clock& clock;
  int visits = 0;
  std::int64_t deadlineMicros;

  // The clock now reads later than the deadline.
  bool late() const;
  // MAX_VISITS reached, or late.
  bool exhausted() const;
};

bool isInteractiveRole(std::string_view role);

// A rectangle with a listable face: every coordinate finite (a NaN or infinite one would make the
// whole answer unwritable) and at least `minHeight` high and 1 wide (NaN sizes fail this too).
bool listable(const Rect& frame, double minHeight);

// Walks `root` depth-first in document order with an explicit stack, appending element records
// of interactive elements and of static texts with a value. Stops at MAX_VISITS, the deadline or
// MAX_ELEMENTS interactive records; reads children only above MAX_DEPTH. With a clip rectangle,
// elements outside it are not listed (their children are still walked) and menus are not entered.
void collect(Accessibility& ax, const Element& root, const std::optional<Rect>& clipRect,
             const std::optional<Element>& focused, Walk& walk, std::vector<Json>& interactive,
             std::vector<Json>& texts);

} // namespace plenk::hands
