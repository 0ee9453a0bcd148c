#include "platform/input_events.hpp"

namespace plenk {

std::string_view mouseEventTypeName(MouseEventType type) {
  switch (type) {
  case MouseEventType::leftDown:
    return "leftDown";
  case MouseEventType::leftUp:
    return "leftUp";
  case MouseEventType::rightDown:
    return "rightDown";
  case MouseEventType::rightUp:
    return "rightUp";
  case MouseEventType::moved:
    return "moved";
  }
  return "moved";
}

} // namespace plenk
