#include "hands/access.hpp"
#include "hands/args.hpp"
#include "hands/error.hpp"
#include "hands/input/events.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {

namespace {
constexpr int AFTER_MOVE_MS = 40;
constexpr int BUTTON_HOLD_MS = 25;
constexpr int BETWEEN_CLICKS_MS = 60;
} // namespace

Json verbClick(Hands& hands, const Json& args) {
  requireAccessibility(hands);
  auto at = pointArg(args);
  plenk::Point point{at.x, at.y};

  // A button that is not a string counts as the left one; a string must name one exactly.
  bool right = false;
  if (auto button = args.find("button"); button != args.end() && button->is_string()) {
    const auto& name = button->get_ref<const std::string&>();
    if (name == "right")
      right = true;
    else if (name != "left")
      throw HandsError{"bad_args", "button is left or right."};
  }
  int count = 1;
  if (auto number = numberArg(args, "count")) {
    if (*number == 2)
      count = 2;
    else if (*number != 1)
      throw HandsError{"bad_args", "count is 1 or 2."};
  }

  auto source = eventSource(hands);
  moveMouse(hands, point, source);
  pauseMillis(hands, AFTER_MOVE_MS);
  auto button = right ? MouseButton::right : MouseButton::left;
  auto downType = right ? MouseEventType::rightDown : MouseEventType::leftDown;
  auto upType = right ? MouseEventType::rightUp : MouseEventType::leftUp;
  for (int click = 1; click <= count; ++click) {
    auto down = hands.input.createMouseEvent(source, downType, point, button);
    auto up = hands.input.createMouseEvent(source, upType, point, button);
    if (!down || !up) throw HandsError{"helper_failed", "macOS would not create the click."};
    // The click state tells the application whether this is the second click of a double one.
    down->clickState = click;
    up->clickState = click;
    down->flags = 0;
    up->flags = 0;
    hands.input.post(*down);
    pauseMillis(hands, BUTTON_HOLD_MS);
    hands.input.post(*up);
    if (click < count) pauseMillis(hands, BETWEEN_CLICKS_MS);
  }
  return Json::object();
}

} // namespace plenk::hands
