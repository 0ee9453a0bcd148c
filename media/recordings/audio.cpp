// audio: the sound of a recording, from its start, as AAC in "audio.m4a".
#include "media/frame/answer.hpp"
#include "media/frame/constants.hpp"
#include "media/frame/errors.hpp"
#include "media/frame/paths.hpp"
#include "media/recordings/inspect_recording.hpp"
#include "media/verbs.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plenk::media {

namespace {

std::string seconds1(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", s);
  return text;
}

// Why the exported file at path is not the sound asked for, or nothing when it is. An export can
// end well and still hold nothing: a recording whose sound data is missing, or whose tables point
// outside the file, gives a valid M4A without a single sample.
std::optional<std::string> shortOfSound(Media& media, const std::string& path,
                                        std::optional<double> expected) {
  const RecordingFacts got = media.recordings.open(path)->facts();
  double length = std::isfinite(got.soundDuration) ? got.soundDuration : got.duration;
  if (got.audioTracks < 1 || !std::isfinite(length) || length <= 0)
    return "the exported file holds no sound";
  if (!expected) return std::nullopt;
  // Encoder frames and the sound's own start round the length a little.
  double slack = std::max(0.5, *expected * 0.02);
  if (length + slack < *expected)
    return "only " + seconds1(length) + " of " + seconds1(*expected) +
           " seconds of sound could be exported";
  return std::nullopt;
}

} // namespace

Json verbAudio(Media& media, const Options& opts) {
  const std::string in = inputURL(media, opts);
  const std::string dir = outDir(media, opts);
  const double maxSeconds = doubleOpt(opts, "--max-seconds", DEFAULT_MAX_SECONDS, 1.0, 14400.0);

  std::unique_ptr<Recording> recording = media.recordings.open(in);
  const RecordingFacts facts = recording->facts();
  // A file that is no recording at all is refused as inspect refuses it; only a recording with
  // pictures and no sound gets the no-sound answer.
  if (facts.audioTracks == 0 && facts.videoTracks == 0)
    throw MediaError(Code::Input, NO_SOUND_NO_PICTURE);
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
  // The sound the export should give: the asked length, or less when the sound track is
  // shorter. Where the file does not state its sound's length (or only estimates it), some
  // sound is all that can be asked.
  std::optional<double> expected;
  if (std::isfinite(facts.soundDuration) && facts.soundDuration > 0)
    expected = std::min(length, facts.soundDuration);

  const auto temporary = holdTemporary(media, path);
  if (!temporary) throw MediaError(Code::Work, "the sound could not be exported (no reason given)");
  ExportOutcome outcome = recording->exportSound(*temporary, length);
  std::optional<std::string> reason;
  if (!outcome.completed) {
    reason = outcome.error.value_or("");
    if (reason->empty()) reason = "no reason given";
  } else {
    reason = shortOfSound(media, *temporary, expected);
  }
  if (reason) {
    dropTemporary(media, *temporary);
    throw MediaError(Code::Work, "the sound could not be exported (" + *reason + ")");
  }
  if (!placeTemporary(media, *temporary, path)) {
    // The name was taken while the export ran.
    outFile(media, dir, "audio.m4a");
    throw MediaError(Code::Work, "the sound could not be exported (the file could not be named)");
  }

  return {{"ok", true},
          {"audioTracks", facts.audioTracks},
          {"file", "audio.m4a"},
          {"bytes", fileSize(media, path)},
          {"seconds", num(length)}};
}

} // namespace plenk::media
