// The order in which a user reads boxes laid out on a screen.
#pragma once

#include "platform/accessibility.hpp"

#include <cstddef>
#include <optional>
#include <vector>

namespace plenk::atspi {

// Indices of `boxes` in reading order: rows top to bottom, each row left to right. A row is what
// starts above the middle of its topmost box (a label centred beside a taller entry shares the
// entry's row). Boxes without a place (none, or empty) keep their order, after the others; ties
// keep theirs too.
std::vector<std::size_t> readingOrder(const std::vector<std::optional<Rect>>& boxes);

} // namespace plenk::atspi
