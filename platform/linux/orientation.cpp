#include "platform/linux/orientation.hpp"

#include <cmath>
#include <cstring>

namespace plenk {

Orientation orientationOf(const std::int32_t* matrix) {
  if (matrix == nullptr) return {};
  double a = matrix[0] / 65536.0, b = matrix[1] / 65536.0;
  double c = matrix[3] / 65536.0, d = matrix[4] / 65536.0;
  // Only quarter turns and mirrors exist for pictures; snap any other angle to the nearest.
  if (std::fabs(a) + std::fabs(d) >= std::fabs(b) + std::fabs(c)) return {false, a < 0, d < 0};
  return {true, b < 0, c < 0};
}

Picture oriented(const Picture& stored, Orientation o) {
  if (!o.transpose && !o.flipX && !o.flipY) return stored;
  const int w = stored.width, h = stored.height;
  Picture out;
  out.width = o.transpose ? h : w;
  out.height = o.transpose ? w : h;
  out.rgb.resize(stored.rgb.size());
  for (int y = 0; y < out.height; ++y) {
    std::uint8_t* row = out.rgb.data() + static_cast<std::size_t>(y) * out.width * 3;
    for (int x = 0; x < out.width; ++x) {
      int sx = o.transpose ? y : x;
      int sy = o.transpose ? x : y;
      if (o.flipX) sx = w - 1 - sx;
      if (o.flipY) sy = h - 1 - sy;
      std::memcpy(row + static_cast<std::size_t>(x) * 3,
                  stored.rgb.data() + (static_cast<std::size_t>(sy) * w + sx) * 3, 3);
    }
  }
  return out;
}

} // namespace plenk
