#include "platform/linux/orientation.hpp"

#include <gtest/gtest.h>

namespace plenk {
namespace {

constexpr std::int32_t ONE = 1 << 16;

// A 3x2 picture whose pixel (x, y) holds the value 10 * y + x in every channel.
Picture numbered() {
  Picture p{3, 2, {}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      for (int c = 0; c < 3; ++c)
        p.rgb.push_back(static_cast<std::uint8_t>(10 * y + x));
  return p;
}

std::vector<int> rows(const Picture& p) {
  std::vector<int> out;
  for (std::size_t i = 0; i < p.rgb.size(); i += 3)
    out.push_back(p.rgb[i]);
  return out;
}

TEST(Orientation, EachTrackMatrixTurnsThePictureUpright) {
  struct Case {
    const char* what;
    std::int32_t a, b, c, d;
    int width;
    std::vector<int> upright; // row by row
  };
  const Case cases[] = {
      {"identity", ONE, 0, 0, ONE, 3, {0, 1, 2, 10, 11, 12}},
      {"quarter turn clockwise (portrait phone)", 0, ONE, -ONE, 0, 2, {10, 0, 11, 1, 12, 2}},
      {"quarter turn anticlockwise", 0, -ONE, ONE, 0, 2, {2, 12, 1, 11, 0, 10}},
      {"half turn", -ONE, 0, 0, -ONE, 3, {12, 11, 10, 2, 1, 0}},
      {"mirrored left to right", -ONE, 0, 0, ONE, 3, {2, 1, 0, 12, 11, 10}},
      {"mirrored top to bottom", ONE, 0, 0, -ONE, 3, {10, 11, 12, 0, 1, 2}},
      {"transposed", 0, ONE, ONE, 0, 2, {0, 10, 1, 11, 2, 12}},
      {"clockwise and mirrored", 0, -ONE, -ONE, 0, 2, {12, 2, 11, 1, 10, 0}},
      // Not quite a quarter turn: snapped to the nearest one.
      {"89 degrees", 1143, ONE - 10, -(ONE - 10), 1143, 2, {10, 0, 11, 1, 12, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::int32_t m[9] = {c.a, c.b, 0, c.c, c.d, 0, 0, 0, 1 << 30};
    Picture out = oriented(numbered(), orientationOf(m));
    EXPECT_EQ(out.width, c.width);
    EXPECT_EQ(out.height, 6 / c.width);
    EXPECT_EQ(rows(out), c.upright);
  }
}

TEST(Orientation, NoMatrixIsUpright) {
  Orientation o = orientationOf(nullptr);
  EXPECT_FALSE(o.transpose || o.flipX || o.flipY);
  EXPECT_EQ(rows(oriented(numbered(), o)), (std::vector<int>{0, 1, 2, 10, 11, 12}));
}

} // namespace
} // namespace plenk
