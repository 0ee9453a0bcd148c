// audio: the sound of a recording, from its start, as AAC in "audio.m4a".
#include "media/frame/answer.hpp"
#include "media/frame/constants.hpp"
#include "media/frame/errors.hpp"
#include "media/frame/paths.hpp"
#include "media/verbs.hpp"

#include <algorithm>
#include <cmath>

namespace plenk::media {

Json verbAudio(Media& media, const Options& opts) {
  const std::string in = inputURL(media, opts);
  const std::string dir = outDir(media, opts);
  const double maxSeconds = doubleOpt(opts, "--max-seconds", DEFAULT_MAX_SECONDS, 1.0, 14400.0);

  std::unique_ptr<Recording> recording = media.recordings.open(in);
  const RecordingFacts facts = recording->facts();
  if (facts.audioTracks == 0)
    return {{"ok", true},
            {"audioTracks", 0},
            {"file", nullptr},
            {"message", "that recording carries no sound track"}};
  if (!recording->canExportSound())
    throw MediaError(Code::Work, "macOS would not start an export of the sound in that recording");

  const double seconds = facts.duration;
  const std::string path = outFile(media, dir, "audio.m4a");
  // A length that cannot be told exports the most that was allowed.
  const double length =
      std::isfinite(seconds) && seconds > 0 ? std::min(seconds, maxSeconds) : maxSeconds;
  ExportOutcome outcome = recording->exportSound(path, length);
  if (!outcome.completed) {
    std::string reason = outcome.error.value_or("");
    if (reason.empty()) reason = "no reason given";
    throw MediaError(Code::Work, "the sound could not be exported (" + reason + ")");
  }

  return {{"ok", true},
          {"audioTracks", facts.audioTracks},
          {"file", "audio.m4a"},
          {"bytes", fileSize(media, path)},
          {"seconds", num(length)}};
}

} // namespace plenk::media
