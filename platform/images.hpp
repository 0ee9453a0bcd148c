// Raster pictures: resampling, JPEG and PNG encoding, and upright thumbnails of picture files.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plenk {

// A decoded picture: 8-bit sRGB red, green and blue, no alpha, rows top to bottom with no padding
// (rgb holds width * height * 3 bytes). Width and height are at least 1 in every picture the
// services hand out.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

struct Images {
  virtual ~Images() = default;

  // The whole picture resampled to exactly width by height with a high-quality filter (never
  // nearest-neighbour). Nothing when either size is below 1 or the resampling fails.
  virtual std::optional<Picture> resize(const Picture& picture, int width, int height) = 0;

  // The complete bytes of a JPEG file. quality runs from 0.0 (smallest file) to 1.0 (least
  // compression) and is clamped into that range; how it maps onto the encoder's own scale is the
  // implementation's (documented there). Nothing when encoding fails.
  virtual std::optional<std::string> jpeg(const Picture& picture, double quality) = 0;

  // The complete bytes of a PNG file with default settings. Nothing when encoding fails.
  virtual std::optional<std::string> png(const Picture& picture) = 0;

  // The picture stored in the file at path, turned upright by its orientation tag, converted to
  // sRGB without alpha (transparent parts become black) and reduced so that its longer side is
  // at most maxEdge (never enlarged). Decodes at the reduced size where the format allows.
  // Nothing when the file is not a picture that can be read, or maxEdge is below 1.
  virtual std::optional<Picture> thumbnail(const std::string& path, int maxEdge) = 0;
};

} // namespace plenk
