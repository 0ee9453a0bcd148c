// frames: still pictures at the midpoints of equal stretches of a recording.
#include "media/frame/answer.hpp"
#include "media/frame/constants.hpp"
#include "media/frame/errors.hpp"
#include "media/frame/images.hpp"
#include "media/frame/paths.hpp"
#include "media/verbs.hpp"
#include "platform/text.hpp"

#include <cmath>

namespace plenk::media {

Json verbFrames(Media& media, const Options& opts) {
  const std::string in = inputURL(media, opts);
  const std::string dir = outDir(media, opts);
  const std::int64_t count = intOpt(opts, "--count", DEFAULT_FRAME_COUNT, 1, MAX_FRAME_COUNT);
  const std::int64_t maxEdge = intOpt(opts, "--max-edge", DEFAULT_MAX_EDGE, 240, HARD_MAX_EDGE);
  const double quality = doubleOpt(opts, "--quality", DEFAULT_QUALITY, MIN_QUALITY, 1.0);
  const std::int64_t maxBytes = intOpt(opts, "--max-bytes", DEFAULT_MAX_BYTES, 50000, 4000000);
  bool png = false;
  if (auto format = opts.find("--format"); format != opts.end()) {
    std::string lower = text::lower(format->second);
    if (lower != "jpeg" && lower != "jpg" && lower != "png")
      throw MediaError(Code::Usage, "--format must be jpeg or png");
    png = lower == "png";
  }

  std::unique_ptr<Recording> recording = media.recordings.open(in);
  const RecordingFacts facts = recording->facts();
  if (facts.videoTracks == 0)
    throw MediaError(Code::Input,
                     "that file holds no picture track, so there are no frames to take");
  const double seconds = facts.duration;
  if (!std::isfinite(seconds) || seconds <= 0)
    throw MediaError(Code::Input,
                     "macOS reports no length for that recording, so frames cannot be spaced "
                     "across it");

  Json frames = Json::array();
  std::int64_t total = 0;
  for (std::int64_t i = 0; i < count; ++i) {
    const double at = ((static_cast<double>(i) + 0.5) * seconds) / static_cast<double>(count);
    // Moments are asked on a grid of 1/600 s, the time scale recordings are addressed in.
    std::optional<Picture> picture =
        recording->pictureAt(std::round(at * 600.0) / 600.0, static_cast<int>(maxEdge));
    if (!picture) continue;
    std::optional<Encoded> encoded = encodeWithin(media.images, *picture, png, quality, maxBytes);
    if (!encoded) continue;
    const std::string name = "frame-" + pad3(i + 1) + (png ? ".png" : ".jpg");
    const std::string path = outFile(media, dir, name);
    writeOut(media, encoded->bytes, path, "a frame of that recording");
    const auto bytes = static_cast<std::int64_t>(encoded->bytes.size());
    total += bytes;
    frames.push_back({{"file", name},
                      {"at", num(at)},
                      {"width", encoded->picture.width},
                      {"height", encoded->picture.height},
                      {"bytes", bytes}});
  }
  if (frames.empty())
    throw MediaError(Code::Work,
                     "macOS could not turn any moment of that recording into a picture");

  return {{"ok", true},
          {"duration", num(seconds)},
          {"width", static_cast<std::int64_t>(std::trunc(std::fabs(facts.width)))},
          {"height", static_cast<std::int64_t>(std::trunc(std::fabs(facts.height)))},
          {"videoTracks", facts.videoTracks},
          {"audioTracks", facts.audioTracks},
          {"frames", frames},
          {"bytes", total},
          {"format", png ? "png" : "jpeg"}};
}

} // namespace plenk::media
