#include "media/recordings/inspect_recording.hpp"

#include "media/frame/answer.hpp"
#include "media/frame/errors.hpp"

#include <cmath>

namespace plenk::media {

Json inspectRecording(Media& media, const std::string& path, std::int64_t bytes) {
  RecordingFacts facts = media.recordings.open(path)->facts();
  bool video = facts.videoTracks > 0;
  if (!video && facts.audioTracks == 0) throw MediaError(Code::Input, NO_SOUND_NO_PICTURE);
  auto whole = [&](double side) -> std::int64_t {
    return video ? static_cast<std::int64_t>(std::trunc(std::fabs(side))) : 0;
  };
  return {{"ok", true},
          {"kind", video ? "video" : "audio"},
          {"bytes", bytes},
          {"duration", num(facts.duration)},
          {"videoTracks", facts.videoTracks},
          {"audioTracks", facts.audioTracks},
          {"width", whole(facts.width)},
          {"height", whole(facts.height)},
          {"fps", video ? num(static_cast<double>(facts.frameRate)) : Json(0)}};
}

} // namespace plenk::media
