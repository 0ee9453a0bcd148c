// One in-process plenk-media run for the recording verbs' tests: real pictures (libvips), real or
// scripted recordings, and the in-memory console, timer, system and clock.
#pragma once

#include "media/context.hpp"
#include "media/frame/run.hpp"
#include "media/frame/test_media.hpp"
#include "platform/linux/images.hpp"
#include "platform/linux/media.hpp"
#include "tests/support/recording_fixtures.hpp"

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace plenk::media {

enum class Recorded { Real, Scripted };

struct RecordingRun : TestServices {
  explicit RecordingRun(Recorded kind = Recorded::Real)
      : media(over(pdf, recogniser,
                   kind == Recorded::Real ? *real : static_cast<Recordings&>(recordings))) {}

  // The exit status; the answer and the diagnostic are kept.
  int run(const std::vector<std::string>& args) { return runMedia(media, args); }
  Json answer() const {
    std::string line = console.out;
    if (line.ends_with('\n')) line.pop_back();
    return json::parse(line).value_or(Json());
  }

  std::unique_ptr<Recordings> real = linuxRecordings();
  Media media;
};

// The names in a folder.
inline std::set<std::string> namesIn(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  return names;
}

// The path of a recording fixture, made by ffmpeg on first use.
inline std::string fixture(const std::string& name) {
  return testing::recordingFixtures()(name);
}

} // namespace plenk::media
