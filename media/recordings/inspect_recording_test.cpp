#include "media/frame/errors.hpp"
#include "media/recordings/inspect_recording.hpp"
#include "media/recordings/recording_run.hpp"

#include <cmath>
#include <gtest/gtest.h>

namespace plenk::media {
namespace {

TEST(InspectRecording, TellsVideosAndSoundsApart) {
  RecordingRun t;
  Json clip = inspectRecording(t.media, fixture("clip.mp4"), 1234);
  EXPECT_EQ(clip["ok"], true);
  EXPECT_EQ(clip["kind"], "video");
  EXPECT_EQ(clip["bytes"], 1234);
  EXPECT_NEAR(clip["duration"].get<double>(), 4.0, 0.05);
  EXPECT_EQ(clip["videoTracks"], 1);
  EXPECT_EQ(clip["audioTracks"], 1);
  EXPECT_EQ(clip["width"], 320);
  EXPECT_EQ(clip["height"], 240);
  EXPECT_EQ(clip["fps"].get<double>(), 25.0);

  // The nominal rate is single precision, widened.
  Json ntsc = inspectRecording(t.media, fixture("silent.mp4"), 0);
  EXPECT_EQ(ntsc["audioTracks"], 0);
  EXPECT_EQ(ntsc["fps"].get<double>(), static_cast<double>(static_cast<float>(30000.0 / 1001.0)));

  // A phone-style clip reports the size as stored.
  Json rotated = inspectRecording(t.media, fixture("rot270.mp4"), 0);
  EXPECT_EQ(rotated["width"], 160);
  EXPECT_EQ(rotated["height"], 120);

  for (const char* name : {"tone.m4a", "cover.mp3", "tone.wav"}) {
    SCOPED_TRACE(name);
    Json sound = inspectRecording(t.media, fixture(name), 99);
    EXPECT_EQ(sound["kind"], "audio");
    EXPECT_EQ(sound["videoTracks"], 0);
    EXPECT_EQ(sound["audioTracks"], 1);
    EXPECT_EQ(sound["width"], 0);
    EXPECT_EQ(sound["height"], 0);
    EXPECT_EQ(sound["fps"], 0);
    EXPECT_NEAR(sound["duration"].get<double>(), 3.0, 0.1);
  }
}

TEST(InspectRecording, UnknownLengthIsNull) {
  RecordingRun t;
  Json live = inspectRecording(t.media, fixture("live.webm"), 0);
  EXPECT_EQ(live["kind"], "video");
  EXPECT_TRUE(live["duration"].is_null());
}

TEST(InspectRecording, NoTracksIsRefused) {
  for (const char* name : {"still.jpg", "notes.txt", "empty.mp4", "junk.mov"}) {
    SCOPED_TRACE(name);
    RecordingRun t;
    try {
      inspectRecording(t.media, fixture(name), 0);
      ADD_FAILURE() << "not refused";
    } catch (const MediaError& e) {
      EXPECT_EQ(e.code, Code::Input);
      EXPECT_EQ(e.message, "that file holds no sound and no picture that macOS can read");
    }
  }
}

TEST(InspectRecording, SizesAreWholeAndPositive) {
  RecordingRun t(Recorded::Scripted);
  ScriptedRecording r;
  r.facts = {.videoTracks = 2,
             .audioTracks = 3,
             .width = -1919.7,
             .height = 1080.9,
             .frameRate = 29.97f,
             .duration = HUGE_VAL};
  t.recordings.files["x"] = r;
  Json a = inspectRecording(t.media, "x", 5);
  EXPECT_EQ(a["width"], 1919);
  EXPECT_EQ(a["height"], 1080);
  EXPECT_EQ(a["videoTracks"], 2);
  EXPECT_EQ(a["audioTracks"], 3);
  EXPECT_TRUE(a["duration"].is_null());
  EXPECT_EQ(a["fps"].get<double>(), static_cast<double>(29.97f));
}

} // namespace
} // namespace plenk::media
