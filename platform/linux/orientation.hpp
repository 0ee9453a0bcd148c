// Turning a stored video picture upright from the display matrix its container carries.
#pragma once

#include "platform/images.hpp"

#include <cstdint>

namespace plenk {

// Display pixel (x, y) of an upright picture comes from the stored picture (width W, height H):
// without transpose from (flipX ? W-1-x : x, flipY ? H-1-y : y); with transpose the display is H
// wide and W high, and its pixel (x, y) comes from (flipX ? W-1-y : y, flipY ? H-1-x : x).
struct Orientation {
  bool transpose = false;
  bool flipX = false;
  bool flipY = false;
};

// The orientation nearest to a 3x3 display matrix in 16.16 fixed point (the container's track
// matrix: display x = a*x + c*y, display y = b*x + d*y with a, b, c, d = m[0], m[1], m[3], m[4],
// y pointing down). A missing matrix is upright.
Orientation orientationOf(const std::int32_t* matrix);

// The picture turned upright.
Picture oriented(const Picture& stored, Orientation orientation);

} // namespace plenk
