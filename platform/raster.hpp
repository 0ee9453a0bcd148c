// A picture as rows of pixels, held in memory: what a drawn PDF page hands to the recogniser.
#pragma once

#include <cstdint>
#include <vector>

namespace plenk {

struct Raster {
  int width = 0;
  int height = 0;
  // 1 (grey) or 3 (RGB); rows are packed, width * channels bytes each, top row first.
  int channels = 1;
  // How many pixels stand for one inch of the page; 0 when unknown.
  double pixelsPerInch = 0;
  std::vector<std::uint8_t> pixels;
};

} // namespace plenk
