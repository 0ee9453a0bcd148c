#include "media/frame/errors.hpp"
#include "media/recordings/inspect_recording.hpp"
#include "media/recordings/recording_run.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

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
  // Raw streams have no header to recognise: under their names, text, a PDF and an empty file
  // are still no recordings.
  testing::TempDir dir;
  std::vector<std::string> files{fixture("still.jpg"), fixture("notes.txt"), fixture("empty.mp4"),
                                 fixture("junk.mov")};
  const std::string pdf = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n%%EOF\n";
  for (const char* ext : {".gsm", ".ac3", ".eac3", ".mpv", ".mpg", ".amr", ".mp3", ".aac"}) {
    testing::writeFile(dir / (std::string("notes") + ext), std::string(300, 'x') + "\n notes");
    testing::writeFile(dir / (std::string("letter") + ext), pdf + std::string(2000, ' '));
    testing::writeFile(dir / (std::string("empty") + ext), "");
    for (const char* base : {"notes", "letter", "empty"})
      files.push_back(dir / (base + std::string(ext)));
  }
  for (const std::string& name : files) {
    SCOPED_TRACE(name);
    RecordingRun t;
    try {
      inspectRecording(t.media, name, 0);
      ADD_FAILURE() << "not refused";
    } catch (const MediaError& e) {
      EXPECT_EQ(e.code, Code::Input);
      EXPECT_EQ(e.message, "that file holds no sound and no picture that macOS can read");
    }
  }
}

TEST(InspectRecording, EveryContainerUsersMeetIsRead) {
  testing::TempDir dir;
  const std::string picture = "-f lavfi -i testsrc=size=176x144:rate=25:duration=2 ";
  const std::string sound = "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=2 ";
  const std::string speech = "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=2 ";
  struct Case {
    std::string name;
    std::string args; // empty: written here
    int videoTracks;
  };
  const Case cases[] = {
      {"program.mpg", picture + sound + "-c:v mpeg2video -c:a mp2 -f vob", 1},
      {"elementary.mpv", picture + "-c:v mpeg1video -f mpeg1video", 1},
      {"clip.wmv", picture + sound + "-c:v wmv2 -c:a wmav2", 1},
      {"clip.flv", picture + sound + "-c:v flv -c:a libmp3lame", 1},
      {"clip.webm", picture + sound + "-c:v libvpx -c:a libopus", 1},
      {"clip.3gp", picture + sound + "-c:v h263 -c:a aac", 1},
      {"clip.3g2", picture + sound + "-c:v h263 -c:a aac -f 3g2", 1},
      {"tone.wma", sound + "-c:a wmav2", 0},
      {"tone.ac3", sound + "-c:a ac3", 0},
      {"tone.eac3", sound + "-c:a eac3", 0},
      {"tone.au", sound, 0},
      {"tone.w64", sound, 0},
      {"speech.gsm", speech + "-c:a libgsm", 0},
      // Debian's ffmpeg has no AMR encoder: 100 frames of 12.2 kbit/s (20 ms each) by hand.
      {"speech.amr", "", 0},
  };
  std::string amr = "#!AMR\n";
  for (int frame = 0; frame < 100; ++frame) {
    amr += '\x3c';
    for (int i = 0; i < 31; ++i)
      amr += static_cast<char>((frame * 31 + i) * 131 % 251);
  }
  testing::writeFile(dir / "speech.amr", amr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.args.empty()) {
      ASSERT_TRUE(testing::ffmpeg(c.args + " " + (dir / c.name)));
    }
    RecordingRun t;
    ASSERT_EQ(t.run({"inspect", "--in", dir / c.name}), 0) << t.console.out;
    Json a = t.answer();
    EXPECT_EQ(a["kind"], c.videoTracks > 0 ? "video" : "audio");
    EXPECT_EQ(a["videoTracks"], c.videoTracks);
    EXPECT_EQ(a["audioTracks"], c.name.ends_with(".mpv") ? 0 : 1);
    EXPECT_EQ(a["width"], c.videoTracks > 0 ? 176 : 0);
    EXPECT_EQ(a["height"], c.videoTracks > 0 ? 144 : 0);
    EXPECT_NEAR(a["duration"].get<double>(), 2.0, 0.15);
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
