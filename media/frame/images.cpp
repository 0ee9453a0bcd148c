#include "media/frame/images.hpp"

#include "media/frame/constants.hpp"

#include <algorithm>
#include <cmath>

namespace plenk::media {

std::optional<Picture> scaled(Images& images, const Picture& picture, double factor) {
  double w = std::trunc(factor * picture.width), h = std::trunc(factor * picture.height);
  int width = static_cast<int>(std::max(1.0, w)), height = static_cast<int>(std::max(1.0, h));
  return images.resize(picture, width, height);
}

std::optional<std::string> encode(Images& images, const Picture& picture, bool png,
                                  double quality) {
  return png ? images.png(picture) : images.jpeg(picture, quality);
}

std::optional<Encoded> encodeWithin(Images& images, const Picture& picture, bool png,
                                    double quality, std::int64_t maxBytes) {
  // The picture passed in is not copied unless it is the one given back.
  std::optional<Picture> smaller;
  const Picture* current = &picture;
  double q = quality;
  for (int attempt = 1; attempt <= MAX_ENCODINGS; ++attempt) {
    std::optional<std::string> bytes = encode(images, *current, png, q);
    if (!bytes) return std::nullopt;
    if (png || static_cast<std::int64_t>(bytes->size()) <= maxBytes)
      return Encoded{std::move(*bytes), *current};
    if (q > MIN_QUALITY) {
      // Quality first: it is cheaper than shrinking and keeps the pixel size.
      q = std::max(MIN_QUALITY, q - QUALITY_STEP);
      continue;
    }
    if (attempt == MAX_ENCODINGS) return Encoded{std::move(*bytes), *current};
    std::optional<Picture> shrunk = scaled(images, *current, SHRINK_FACTOR);
    if (!shrunk) return Encoded{std::move(*bytes), *current};
    smaller = std::move(shrunk);
    current = &*smaller;
  }
  return std::nullopt; // only when the quality started above 1.72
}

} // namespace plenk::media
