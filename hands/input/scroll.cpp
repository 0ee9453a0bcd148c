#include "hands/access.hpp"
#include "hands/args.hpp"
#include "hands/error.hpp"
#include "hands/input/events.hpp"
#include "hands/verbs.hpp"

#include <cmath>
#include <cstdint>
#include <optional>

namespace plenk::hands {

namespace {
constexpr double MAX_SCROLL_LINES = 200;
constexpr int AFTER_MOVE_MS = 30;
} // namespace

Json verbScroll(Hands& hands, const Json& args) {
  requireAccessibility(hands);
  double dy = numberArg(args, "dy").value_or(0);
  double dx = numberArg(args, "dx").value_or(0);
  if (std::fabs(dx) > MAX_SCROLL_LINES || std::fabs(dy) > MAX_SCROLL_LINES)
    throw HandsError{"bad_args", "That is too far to scroll in one go."};
  // Whole lines, halves away from zero; within ±200 the casts cannot overflow.
  auto vertical = static_cast<std::int32_t>(std::round(dy));
  auto horizontal = static_cast<std::int32_t>(std::round(dx));
  if (vertical == 0 && horizontal == 0) throw HandsError{"bad_args", "scroll needs dx or dy."};

  auto source = eventSource(hands);
  // Either key asks for a point, whatever its value; a bad point fails before anything is posted.
  std::optional<plenk::Point> point;
  if (args.contains("x") || args.contains("y")) {
    auto at = pointArg(args);
    point = plenk::Point{at.x, at.y};
    moveMouse(hands, *point, source);
    pauseMillis(hands, AFTER_MOVE_MS);
  }
  auto scroll = hands.input.createScrollEvent(source, vertical, horizontal);
  if (!scroll) throw HandsError{"helper_failed", "macOS would not create the scroll."};
  scroll->location = point;
  scroll->flags = 0;
  hands.input.post(*scroll);
  return Json::object();
}

} // namespace plenk::hands
