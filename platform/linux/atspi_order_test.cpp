#include "platform/linux/atspi_order.hpp"

#include <gtest/gtest.h>
#include <string>

namespace plenk::atspi {
namespace {

std::optional<Rect> box(double x, double y, double w, double h) {
  return Rect{{x, y}, {w, h}};
}

struct OrderCase {
  std::string what;
  std::vector<std::optional<Rect>> boxes; // in the toolkit's order
  std::vector<std::size_t> reading;
};

// The layouts as GTK 3 lists them (positions as it reported them).
TEST(AtspiReadingOrder, RowsTopToBottomEachLeftToRight) {
  const OrderCase cases[] = {
      {"grid, last attached first",
       {box(24, 36, 20, 17), box(0, 36, 20, 17), box(24, 19, 20, 17), box(0, 19, 20, 17)},
       {3, 2, 1, 0}},
      {"frame, label after content", {box(1, 235, 638, 40), box(0, 217, 80, 17)}, {1, 0}},
      {"labels centred beside taller entries",
       {box(60, 34, 200, 34), box(0, 43, 50, 17), box(60, 0, 200, 34), box(0, 9, 50, 17)},
       {3, 2, 1, 0}},
      {"header bar from the right",
       {box(746, 508, 70, 34), box(823, 508, 70, 34), box(413, 522, 60, 17), box(82, 508, 70, 34),
        box(6, 508, 70, 34)},
       {4, 3, 2, 0, 1}},
      {"already in order", {box(0, 0, 90, 20), box(0, 20, 90, 20), box(0, 40, 90, 20)}, {0, 1, 2}},
      {"stacked boxes keep their order", {box(0, 0, 10, 10), box(0, 0, 10, 10)}, {0, 1}},
      {"boxes without a place last",
       {std::nullopt, box(0, 0, 0, 0), box(10, 0, 5, 5), box(0, 0, 5, 5)},
       {3, 2, 0, 1}},
      {"nothing", {}, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(readingOrder(c.boxes), c.reading) << c.what;
}

} // namespace
} // namespace plenk::atspi
