// Text recognition on a raster picture.
#pragma once

#include "platform/raster.hpp"

#include <optional>
#include <string>
#include <vector>

namespace plenk {

// One entry per line of text, in the recogniser's order: its best reading, or nothing when the
// recogniser has no candidate for it.
using RecognisedLines = std::vector<std::optional<std::string>>;

struct Recogniser {
  virtual ~Recogniser() = default;
  // Runs the most accurate recognition over the picture; nothing when it fails.
  virtual std::optional<RecognisedLines> lines(const Raster& picture) = 0;
};

} // namespace plenk
