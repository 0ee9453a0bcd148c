#include "platform/linux/atspi_order.hpp"

#include <algorithm>

namespace plenk::atspi {

std::vector<std::size_t> readingOrder(const std::vector<std::optional<Rect>>& boxes) {
  std::vector<std::size_t> placed, unplaced;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const auto& b = boxes[i];
    bool hasPlace = b && b->size.width > 0 && b->size.height > 0;
    (hasPlace ? placed : unplaced).push_back(i);
  }
  auto top = [&](std::size_t i) { return boxes[i]->origin.y; };
  auto left = [&](std::size_t i) { return boxes[i]->origin.x; };
  std::stable_sort(placed.begin(), placed.end(),
                   [&](std::size_t a, std::size_t b) { return top(a) < top(b); });
  for (std::size_t start = 0; start < placed.size();) {
    const Rect& first = *boxes[placed[start]];
    double middle = first.origin.y + first.size.height / 2;
    std::size_t end = start + 1;
    while (end < placed.size() && top(placed[end]) < middle)
      ++end;
    std::stable_sort(placed.begin() + static_cast<std::ptrdiff_t>(start),
                     placed.begin() + static_cast<std::ptrdiff_t>(end),
                     [&](std::size_t a, std::size_t b) { return left(a) < left(b); });
    start = end;
  }
  placed.insert(placed.end(), unplaced.begin(), unplaced.end());
  return placed;
}

} // namespace plenk::atspi
