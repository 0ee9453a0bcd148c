// Pictures handed to the host: shrinking, encoding, and the search for an encoding within a
// byte budget.
#pragma once

#include "platform/images.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace plenk::media {

// The quality search steps down by this much, then the picture shrinks by this factor, for at
// most this many encodings.
inline constexpr double QUALITY_STEP = 0.18;
inline constexpr double SHRINK_FACTOR = 0.75;
inline constexpr int MAX_ENCODINGS = 6;

struct Encoded {
  std::string bytes;
  Picture picture; // the picture that was encoded, possibly smaller than the one passed in
};

// A new picture of max(1, trunc(factor * width)) by max(1, trunc(factor * height)) pixels, or
// nothing.
std::optional<Picture> scaled(Images& images, const Picture& picture, double factor);

// PNG with default settings (quality ignored), or JPEG at the quality; nothing on failure.
std::optional<std::string> encode(Images& images, const Picture& picture, bool png, double quality);

// A PNG at once; a JPEG at falling quality down to MIN_QUALITY, then at three quarters of the
// size per attempt, until it fits maxBytes or six encodings were made (the sixth is given back
// over the budget). Nothing when an encoding fails.
std::optional<Encoded> encodeWithin(Images& images, const Picture& picture, bool png,
                                    double quality, std::int64_t maxBytes);

} // namespace plenk::media
