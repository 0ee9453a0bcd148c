#include "media/recordings/recording_run.hpp"

#include <cmath>
#include <gtest/gtest.h>

namespace plenk::media {
namespace {

using testing::TempDir;

// A scripted 10-second recording with one 1280x720 picture track and sound.
ScriptedRecording tenSeconds() {
  ScriptedRecording r;
  r.facts.videoTracks = 1;
  r.facts.audioTracks = 1;
  r.facts.width = 1280;
  r.facts.height = 720;
  r.facts.frameRate = 30;
  r.facts.duration = 10.0;
  return r;
}

struct Refusal {
  std::vector<std::string> extra;
  int status;
  std::string code, message;
};

void expectRefused(RecordingRun& t, const std::vector<std::string>& args, const Refusal& r) {
  EXPECT_EQ(t.run(args), r.status);
  Json a = t.answer();
  EXPECT_EQ(a["ok"], false);
  EXPECT_EQ(a["code"], r.code);
  EXPECT_EQ(a["message"], r.message);
  EXPECT_EQ(t.console.err, "plenk-media: " + r.message + "\n");
}

TEST(Frames, ChecksInTheirOrderBeforeOpeningTheRecording) {
  TempDir out;
  const std::string clip = fixture("clip.mp4");
  ASSERT_FALSE(clip.empty());
  const std::vector<Refusal> cases = {
      {{}, 2, "E_USAGE", "--in <file> is required for this verb"},
      {{"--in", clip}, 2, "E_USAGE", "--out <directory> is required for this verb"},
      {{"--in", clip, "--out", out / "missing"},
       6,
       "E_OUT",
       "the path given to --out is not a directory that exists"},
      {{"--in", out / "missing.mp4", "--out", "/nonexistent"},
       3,
       "E_INPUT",
       "there is no readable file at the path given to --in"},
      {{"--in", clip, "--out", out.path.string(), "--count", "2.5", "--format", "gif"},
       2,
       "E_USAGE",
       "--count must be a whole number"},
      {{"--in", clip, "--out", out.path.string(), "--max-edge", "big", "--quality", "abc"},
       2,
       "E_USAGE",
       "--max-edge must be a whole number"},
      {{"--in", clip, "--out", out.path.string(), "--quality", "inf", "--max-bytes", "x"},
       2,
       "E_USAGE",
       "--quality must be a number"},
      {{"--in", clip, "--out", out.path.string(), "--max-bytes", "1e5", "--format", "gif"},
       2,
       "E_USAGE",
       "--max-bytes must be a whole number"},
      {{"--in", clip, "--out", out.path.string(), "--format", "gif"},
       2,
       "E_USAGE",
       "--format must be jpeg or png"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.message);
    RecordingRun t(Recorded::Scripted);
    t.recordings.files[clip] = tenSeconds();
    std::vector<std::string> args{"frames"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    expectRefused(t, args, c);
    EXPECT_EQ(t.recordings.opened, 0);
  }
  EXPECT_TRUE(namesIn(out.path).empty());
}

TEST(Frames, RefusesRecordingsWithoutPicturesOrLength) {
  TempDir out;
  const std::string noPicture = "that file holds no picture track, so there are no frames to take";
  const std::string noLength =
      "macOS reports no length for that recording, so frames cannot be spaced across it";
  // Real files: sound only, cover art only, a still picture, text, a stream without length.
  for (auto [name, message] :
       std::vector<std::pair<std::string, std::string>>{{"tone.m4a", noPicture},
                                                        {"cover.mp3", noPicture},
                                                        {"still.jpg", noPicture},
                                                        {"notes.txt", noPicture},
                                                        {"live.webm", noLength}}) {
    SCOPED_TRACE(name);
    RecordingRun t;
    const std::string in = fixture(name);
    ASSERT_FALSE(in.empty());
    expectRefused(t, {"frames", "--in", in, "--out", out.path.string()},
                  {{}, 3, "E_INPUT", message});
  }
  // Lengths that cannot be used: no picture is asked for.
  for (double length : {0.0, -2.0, std::nan(""), HUGE_VAL}) {
    SCOPED_TRACE(length);
    RecordingRun t(Recorded::Scripted);
    ScriptedRecording r = tenSeconds();
    r.facts.duration = length;
    t.recordings.files[fixture("notes.txt")] = r;
    expectRefused(t, {"frames", "--in", fixture("notes.txt"), "--out", out.path.string()},
                  {{}, 3, "E_INPUT", noLength});
    EXPECT_TRUE(t.recordings.pictureRequests.empty());
  }
  EXPECT_TRUE(namesIn(out.path).empty());
}

TEST(Frames, WritesPicturesAtTheMidpointsOfARealRecording) {
  TempDir out;
  RecordingRun t;
  ASSERT_EQ(
      t.run({"frames", "--in", fixture("clip.mp4"), "--out", out.path.string(), "--nonce", "n1"}),
      0);
  Json a = t.answer();
  EXPECT_EQ(a["ok"], true);
  EXPECT_EQ(a["nonce"], "n1");
  EXPECT_NEAR(a["duration"].get<double>(), 4.0, 0.05);
  EXPECT_EQ(a["width"], 320);
  EXPECT_EQ(a["height"], 240);
  EXPECT_EQ(a["videoTracks"], 1);
  EXPECT_EQ(a["audioTracks"], 1);
  EXPECT_EQ(a["format"], "jpeg");
  ASSERT_EQ(a["frames"].size(), 4u);
  std::int64_t total = 0;
  double duration = a["duration"].get<double>();
  for (int i = 0; i < 4; ++i) {
    const Json& f = a["frames"][i];
    std::string name = "frame-00" + std::to_string(i + 1) + ".jpg";
    EXPECT_EQ(f["file"], name);
    EXPECT_DOUBLE_EQ(f["at"].get<double>(), ((i + 0.5) * duration) / 4);
    EXPECT_EQ(f["width"], 320);
    EXPECT_EQ(f["height"], 240);
    EXPECT_EQ(f["bytes"].get<std::int64_t>(),
              static_cast<std::int64_t>(std::filesystem::file_size(out.path / name)));
    auto back = t.images->thumbnail(out / name, 4096);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 320);
    total += f["bytes"].get<std::int64_t>();
  }
  EXPECT_EQ(a["bytes"], total);
  EXPECT_EQ(namesIn(out.path).size(), 4u);
  EXPECT_TRUE(t.console.err.empty());
}

TEST(Frames, RotatedRecordingGivesUprightPicturesAndItsStoredSize) {
  TempDir out;
  RecordingRun t;
  ASSERT_EQ(t.run({"frames", "--in", fixture("rot270.mp4"), "--out", out.path.string(), "--count",
                   "1", "--format", "PNG"}),
            0);
  Json a = t.answer();
  EXPECT_EQ(a["width"], 160);
  EXPECT_EQ(a["height"], 120);
  EXPECT_EQ(a["format"], "png");
  ASSERT_EQ(a["frames"].size(), 1u);
  EXPECT_EQ(a["frames"][0]["file"], "frame-001.png");
  EXPECT_EQ(a["frames"][0]["width"], 120);
  EXPECT_EQ(a["frames"][0]["height"], 160);
  auto back = t.images->thumbnail(out / "frame-001.png", 4096);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width, 120);
  EXPECT_EQ(back->height, 160);
}

TEST(Frames, JpegsAreHeldToTheBudgetPngsAreNot) {
  // 640x480 noise fitted into 480: a JPEG of it is far over 50000 bytes at first.
  TempDir jpegOut, pngOut;
  RecordingRun jpeg;
  ASSERT_EQ(jpeg.run({"frames", "--in", fixture("noise.mp4"), "--out", jpegOut.path.string(),
                      "--count", "1", "--max-edge", "480", "--max-bytes", "10"}),
            0);
  Json j = jpeg.answer()["frames"][0];
  EXPECT_LE(j["bytes"].get<std::int64_t>(), 50000); // 10 works as 50000
  EXPECT_LT(j["width"].get<int>(), 480);            // it took shrinking to get there

  RecordingRun png;
  ASSERT_EQ(png.run({"frames", "--in", fixture("noise.mp4"), "--out", pngOut.path.string(),
                     "--count", "1", "--max-edge", "480", "--max-bytes", "10", "--format", "png"}),
            0);
  Json p = png.answer()["frames"][0];
  EXPECT_GT(p["bytes"].get<std::int64_t>(), 50000);
  EXPECT_EQ(p["width"], 480);
  EXPECT_EQ(p["height"], 360);
}

TEST(Frames, OptionsAreClampedIntoTheirBounds) {
  struct Case {
    std::vector<std::string> extra;
    std::vector<double> moments;
    int edge;
  };
  const Case cases[] = {
      {{}, {1.25, 3.75, 6.25, 8.75}, 1920},
      {{"--count", "1"}, {5.0}, 1920},
      {{"--count", "0", "--max-edge", "100"}, {5.0}, 240},
      {{"--count", "-3", "--max-edge", "10000"}, {5.0}, 4096},
      {{"--count", "20", "--format", "JPG"},
       {0.625, 1.875, 3.125, 4.375, 5.625, 6.875, 8.125, 9.375},
       1920},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.extra));
    TempDir out;
    RecordingRun t(Recorded::Scripted);
    t.recordings.files[fixture("notes.txt")] = tenSeconds();
    std::vector<std::string> args{"frames", "--in", fixture("notes.txt"), "--out",
                                  out.path.string()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    ASSERT_EQ(t.run(args), 0);
    ASSERT_EQ(t.recordings.pictureRequests.size(), c.moments.size());
    Json a = t.answer();
    for (std::size_t i = 0; i < c.moments.size(); ++i) {
      EXPECT_NEAR(t.recordings.pictureRequests[i].seconds, c.moments[i], 1.0 / 1200);
      EXPECT_EQ(t.recordings.pictureRequests[i].maxEdge, c.edge);
      EXPECT_DOUBLE_EQ(a["frames"][i]["at"].get<double>(), c.moments[i]);
      EXPECT_EQ(a["frames"][i]["file"].get<std::string>().substr(9), ".jpg");
    }
    EXPECT_EQ(a["format"], "jpeg");
    EXPECT_EQ(a["frames"][0]["width"], std::min(c.edge, 1280));
  }
}

TEST(Frames, ASlotWithoutAPictureLeavesAGap) {
  TempDir out;
  RecordingRun t(Recorded::Scripted);
  ScriptedRecording r = tenSeconds();
  r.failingPictures = {1};
  t.recordings.files[fixture("notes.txt")] = r;
  ASSERT_EQ(t.run({"frames", "--in", fixture("notes.txt"), "--out", out.path.string()}), 0);
  Json a = t.answer();
  ASSERT_EQ(a["frames"].size(), 3u);
  EXPECT_EQ(a["frames"][0]["file"], "frame-001.jpg");
  EXPECT_EQ(a["frames"][1]["file"], "frame-003.jpg");
  EXPECT_EQ(a["frames"][2]["file"], "frame-004.jpg");
  EXPECT_DOUBLE_EQ(a["frames"][1]["at"].get<double>(), 6.25);
  EXPECT_EQ(a["bytes"], a["frames"][0]["bytes"].get<std::int64_t>() +
                            a["frames"][1]["bytes"].get<std::int64_t>() +
                            a["frames"][2]["bytes"].get<std::int64_t>());
  EXPECT_EQ(namesIn(out.path),
            (std::set<std::string>{"frame-001.jpg", "frame-003.jpg", "frame-004.jpg"}));
}

TEST(Frames, NoPictureAtAllIsAWorkFailure) {
  TempDir out;
  RecordingRun t(Recorded::Scripted);
  ScriptedRecording r = tenSeconds();
  r.failingPictures = {0, 1};
  t.recordings.files[fixture("notes.txt")] = r;
  expectRefused(
      t, {"frames", "--in", fixture("notes.txt"), "--out", out.path.string(), "--count", "2"},
      {{}, 4, "E_WORK", "macOS could not turn any moment of that recording into a picture"});
  EXPECT_TRUE(namesIn(out.path).empty());
}

TEST(Frames, ATakenNameEndsTheRunWithNothingReplaced) {
  TempDir out;
  testing::writeFile(out / "frame-001.jpg", "mine");
  RecordingRun t(Recorded::Scripted);
  t.recordings.files[fixture("notes.txt")] = tenSeconds();
  expectRefused(t, {"frames", "--in", fixture("notes.txt"), "--out", out.path.string()},
                {{},
                 6,
                 "E_OUT",
                 "the directory given to --out holds a file called frame-001.jpg; nothing was "
                 "written"});
  EXPECT_EQ(t.recordings.pictureRequests.size(), 1u); // decoded and encoded first
  EXPECT_EQ(testing::readFile(out / "frame-001.jpg"), "mine");
  EXPECT_EQ(namesIn(out.path), std::set<std::string>{"frame-001.jpg"});

  // A later slot's name taken: the earlier pictures stay.
  TempDir later;
  std::filesystem::create_directory(later.path / "frame-003.jpg");
  RecordingRun u(Recorded::Scripted);
  u.recordings.files[fixture("notes.txt")] = tenSeconds();
  EXPECT_EQ(u.run({"frames", "--in", fixture("notes.txt"), "--out", later.path.string()}), 6);
  EXPECT_EQ(namesIn(later.path),
            (std::set<std::string>{"frame-001.jpg", "frame-002.jpg", "frame-003.jpg"}));
}

} // namespace
} // namespace plenk::media
