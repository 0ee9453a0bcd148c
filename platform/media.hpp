// Recordings with picture and sound: their tracks and facts, pictures at exact moments, and the
// export of their sound.
#pragma once

#include "platform/images.hpp"

#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace plenk {

struct RecordingFacts {
  // Picture tracks (cover art and other still pictures do not count) and sound tracks.
  int videoTracks = 0;
  int audioTracks = 0;
  // Natural size of the first picture track as stored, before any rotation; 0 without one.
  double width = 0;
  double height = 0;
  // Nominal frame rate of the first picture track; 0 without one or when it cannot be told.
  float frameRate = 0;
  // Length in seconds; not finite when it cannot be told.
  double duration = std::numeric_limits<double>::quiet_NaN();
  // Length of the first sound track alone as the file states it (a clip's sound may end before
  // its picture); not finite without one, or when it cannot be told or is only estimated.
  double soundDuration = std::numeric_limits<double>::quiet_NaN();
};

// How an export of sound ended. error is a readable reason when one is known.
struct ExportOutcome {
  bool completed = false;
  std::optional<std::string> error;
};

// One opened recording. Pictures and exports may be asked for any number of times.
struct Recording {
  virtual ~Recording() = default;

  virtual RecordingFacts facts() = 0;

  // The picture of the first picture track shown at exactly that moment (seconds from the start
  // of the recording), upright (its rotation and flips applied) and scaled down to fit a square
  // of maxEdge pixels, keeping its aspect ratio and never scaled up. Nothing when there is no
  // picture track or that moment cannot be decoded.
  virtual std::optional<Picture> pictureAt(double seconds, int maxEdge) = 0;

  // Whether this recording's sound can be exported as AAC in an M4A file at all.
  virtual bool canExportSound() = 0;

  // Writes the first `seconds` of sound into a new M4A file at path, holding AAC, and ends when
  // the export has ended, however it ended. Never replaces an existing file; what a failed export
  // leaves at path stays there.
  virtual ExportOutcome exportSound(const std::string& path, double seconds) = 0;
};

struct Recordings {
  virtual ~Recordings() = default;

  // Never nothing: a file that is no recording (a still picture, text, unknown or unreadable
  // data) opens as a recording without tracks.
  virtual std::unique_ptr<Recording> open(const std::string& path) = 0;
};

} // namespace plenk
