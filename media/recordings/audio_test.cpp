#include "media/recordings/recording_run.hpp"
#include "tests/support/documents.hpp"

#include <cmath>
#include <gtest/gtest.h>

namespace plenk::media {
namespace {

using testing::TempDir;

ScriptedRecording withSound(double duration) {
  ScriptedRecording r;
  r.facts.audioTracks = 2;
  r.facts.duration = r.facts.soundDuration = duration;
  return r;
}

// What ffprobe reads back: the first sound track's codec and the container's length.
std::pair<std::string, double> probe(const std::string& path) {
  std::string out = testing::ffprobe(
      "-select_streams a:0 -show_entries stream=codec_name:format=duration -of csv=p=0 " + path);
  auto cut = out.find_first_of("\n,");
  std::string codec = out.substr(0, cut);
  double length = std::stod(out.substr(out.find_first_of("0123456789", cut)));
  return {codec, length};
}

TEST(Audio, ChecksInTheirOrder) {
  TempDir out;
  const std::string clip = fixture("clip.mp4");
  ASSERT_FALSE(clip.empty());
  struct Case {
    std::vector<std::string> extra;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{"--max-seconds", "abc"}, 2, "--in <file> is required for this verb"},
      {{"--in", clip, "--max-seconds", "abc"}, 2, "--out <directory> is required for this verb"},
      {{"--in", clip, "--out", out.path.string(), "--max-seconds", "abc"},
       2,
       "--max-seconds must be a number"},
      {{"--in", clip, "--out", out.path.string(), "--max-seconds", "nan"},
       2,
       "--max-seconds must be a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    RecordingRun t(Recorded::Scripted);
    std::vector<std::string> args{"audio"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(t.run(args), c.status);
    EXPECT_EQ(t.answer()["message"], c.message);
    EXPECT_EQ(t.recordings.opened, 0);
  }
}

TEST(Audio, ExportsAacOfTheAskedLength) {
  struct Case {
    std::string name;
    std::vector<std::string> extra;
    double seconds;
  };
  // clip.mp4 holds 4 s of picture and 3 s of AAC (copied); tone.wav 3 s of PCM (encoded).
  for (const Case& c :
       {Case{"clip.mp4", {"--max-seconds", "2"}, 2.0},
        Case{"tone.wav", {"--max-seconds", "1.5"}, 1.5}, Case{"tone.wav", {}, 3.0}}) {
    SCOPED_TRACE(c.name);
    TempDir out;
    RecordingRun t;
    std::vector<std::string> args{"audio", "--in", fixture(c.name), "--out", out.path.string()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    ASSERT_EQ(t.run(args), 0) << t.console.err;
    Json a = t.answer();
    EXPECT_EQ(a["ok"], true);
    EXPECT_EQ(a["audioTracks"], 1);
    EXPECT_EQ(a["file"], "audio.m4a");
    EXPECT_EQ(a["bytes"].get<std::int64_t>(),
              static_cast<std::int64_t>(std::filesystem::file_size(out.path / "audio.m4a")));
    EXPECT_NEAR(a["seconds"].get<double>(), c.seconds, 0.03);
    auto [codec, length] = probe(out / "audio.m4a");
    EXPECT_EQ(codec, "aac");
    EXPECT_NEAR(length, c.seconds, 0.05);
    EXPECT_EQ(namesIn(out.path), std::set<std::string>{"audio.m4a"});
  }
  // The whole clip: its sound ends a second before its picture, and all of it is the sound
  // asked for.
  TempDir out;
  RecordingRun t;
  ASSERT_EQ(t.run({"audio", "--in", fixture("clip.mp4"), "--out", out.path.string()}), 0)
      << t.console.err;
  EXPECT_EQ(t.answer()["seconds"], 4.0);
  EXPECT_NEAR(probe(out / "audio.m4a").second, 3.0, 0.05);
}

TEST(Audio, SoundThatChangesItsChannelsPartWayIsExportedWhole) {
  // Two MP3s one after the other, stereo then mono: the second half once crashed the export.
  TempDir work;
  for (const char* half : {"stereo -ac 2", "mono -ac 1"}) {
    std::string name = std::string(half).substr(0, std::string(half).find(' '));
    ASSERT_TRUE(testing::ffmpeg("-f lavfi -i sine=duration=1.5 " +
                                std::string(half).substr(name.size()) + " -c:a libmp3lame " +
                                (work / (name + ".mp3"))));
  }
  testing::writeFile(work / "both.mp3",
                     testing::readFile(work / "stereo.mp3") + testing::readFile(work / "mono.mp3"));
  std::filesystem::create_directory(work.path / "out");
  RecordingRun t;
  ASSERT_EQ(t.run({"audio", "--in", work / "both.mp3", "--out", work / "out"}), 0) << t.console.out;
  // Past the stereo half: the mono frames went through a converter of their own. (FFmpeg
  // itself decodes only part of the mono half of such a file.)
  EXPECT_GT(probe(work / "out/audio.m4a").second, 1.8);
}

TEST(Audio, NoSoundIsAnAnswerAndWritesNothing) {
  TempDir out;
  RecordingRun t;
  ASSERT_EQ(t.run({"audio", "--in", fixture("silent.mp4"), "--out", out.path.string()}), 0);
  EXPECT_EQ(t.answer().dump(), Json::parse(R"({"audioTracks":0,"file":null,"helper":)"
                                           R"("plenk-media","message":"that recording )"
                                           R"(carries no sound track","nonce":"","ok":true,)"
                                           R"("protocol":1,"verb":"audio","version":"1.0.0"})")
                                   .dump());
  EXPECT_TRUE(namesIn(out.path).empty());
  EXPECT_TRUE(t.console.err.empty());
}

TEST(Audio, AFileThatIsNoRecordingIsRefusedAsInspectRefusesIt) {
  TempDir work;
  testing::writeFile(work / "letter.pdf", testing::textPdf({{.lines = {"Dear reader,"}}}));
  std::filesystem::create_directory(work.path / "out");
  for (const std::string& in :
       {work / "letter.pdf", fixture("notes.txt"), fixture("empty.mp4"), fixture("still.jpg")}) {
    SCOPED_TRACE(in);
    RecordingRun t;
    EXPECT_EQ(t.run({"audio", "--in", in, "--out", work / "out"}), 3);
    EXPECT_EQ(t.answer()["code"], "E_INPUT");
    EXPECT_EQ(t.answer()["message"], "that file holds no sound and no picture that macOS can read");
    EXPECT_EQ(t.console.err,
              "plenk-media: that file holds no sound and no picture that macOS can read\n");
    EXPECT_TRUE(namesIn(work / "out").empty());
  }
}

TEST(Audio, LengthRule) {
  struct Case {
    double duration;
    std::vector<std::string> extra;
    double exported;
  };
  const Case cases[] = {
      {2400.0, {}, 900.0},                                 // 40 minutes: the first 900 s
      {120.0, {}, 120.0},                                  // 2 minutes: all of it
      {120.0, {"--max-seconds", "0.5"}, 1.0},              // clamped up
      {std::nan(""), {"--max-seconds", "99999"}, 14400.0}, // unknown length, clamped down
      {0.0, {"--max-seconds", "30"}, 30.0},
      {-1.0, {}, 900.0},
      {HUGE_VAL, {}, 900.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.duration);
    TempDir out;
    RecordingRun t(Recorded::Scripted);
    t.recordings.files[fixture("notes.txt")] = withSound(c.duration);
    std::vector<std::string> args{"audio", "--in", fixture("notes.txt"), "--out",
                                  out.path.string()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    ASSERT_EQ(t.run(args), 0);
    ASSERT_EQ(t.recordings.exportRequests.size(), 1u);
    EXPECT_EQ(t.recordings.exportRequests[0].seconds, c.exported);
    // Exported under a temporary name beside the file, which took its name when it was whole.
    const std::filesystem::path exported = t.recordings.exportRequests[0].path;
    EXPECT_EQ(exported.parent_path(), out.path);
    EXPECT_TRUE(exported.filename().string().starts_with(".audio.m4a."));
    EXPECT_EQ(namesIn(out.path), std::set<std::string>{"audio.m4a"});
    Json a = t.answer();
    EXPECT_EQ(a["seconds"].get<double>(), c.exported);
    EXPECT_EQ(a["audioTracks"], 2);
    EXPECT_EQ(a["bytes"], std::string("scripted m4a").size());
  }
}

TEST(Audio, ExportFailures) {
  auto sound = [](int tracks, double seconds) {
    RecordingFacts f;
    f.audioTracks = tracks;
    f.duration = f.soundDuration = seconds;
    return std::optional<RecordingFacts>(f);
  };
  struct Case {
    bool canExport;
    ExportOutcome outcome;
    std::optional<RecordingFacts> exported;
    std::string message;
  };
  const Case cases[] = {
      {false, {}, {}, "macOS would not start an export of the sound in that recording"},
      {true, {false, std::nullopt}, {}, "the sound could not be exported (no reason given)"},
      {true, {false, ""}, {}, "the sound could not be exported (no reason given)"},
      {true, {false, "the disk is full"}, {}, "the sound could not be exported (the disk is full)"},
      // An export that ends well is checked: no sound, or far less than asked, is no success.
      {true,
       {true, {}},
       sound(0, 60),
       "the sound could not be exported (the exported file holds no sound)"},
      {true,
       {true, {}},
       sound(1, 0),
       "the sound could not be exported (the exported file holds no sound)"},
      {true,
       {true, {}},
       sound(1, 10),
       "the sound could not be exported (only 10.0 of 60.0 seconds of sound could be exported)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir out;
    RecordingRun t(Recorded::Scripted);
    ScriptedRecording r = withSound(60);
    r.canExport = c.canExport;
    r.exportOutcome = c.outcome;
    r.exportedFacts = c.exported;
    t.recordings.files[fixture("notes.txt")] = r;
    EXPECT_EQ(t.run({"audio", "--in", fixture("notes.txt"), "--out", out.path.string()}), 4);
    EXPECT_EQ(t.answer()["code"], "E_WORK");
    EXPECT_EQ(t.answer()["message"], c.message);
    // Nothing is left: neither a cut file under the final name nor the temporary.
    EXPECT_TRUE(namesIn(out.path).empty());
  }
  // Sound a little shorter than asked (an encoder's last frame) is the sound asked for.
  TempDir out;
  RecordingRun t(Recorded::Scripted);
  ScriptedRecording r = withSound(60);
  r.exportedFacts = sound(1, 59.2);
  t.recordings.files[fixture("notes.txt")] = r;
  EXPECT_EQ(t.run({"audio", "--in", fixture("notes.txt"), "--out", out.path.string()}), 0);
}

TEST(Audio, ASecondRunFindsTheNameTakenAndReplacesNothing) {
  TempDir out;
  RecordingRun first;
  ASSERT_EQ(first.run({"audio", "--in", fixture("tone.m4a"), "--out", out.path.string()}), 0);
  std::string written = testing::readFile(out / "audio.m4a");
  RecordingRun second;
  EXPECT_EQ(second.run({"audio", "--in", fixture("tone.m4a"), "--out", out.path.string()}), 6);
  EXPECT_EQ(second.answer()["message"],
            "the directory given to --out holds a file called audio.m4a; nothing was written");
  EXPECT_EQ(testing::readFile(out / "audio.m4a"), written);

  // The export is refused before the name is looked at.
  RecordingRun refused(Recorded::Scripted);
  ScriptedRecording r = withSound(10);
  r.canExport = false;
  refused.recordings.files[fixture("notes.txt")] = r;
  EXPECT_EQ(refused.run({"audio", "--in", fixture("notes.txt"), "--out", out.path.string()}), 4);
}

} // namespace
} // namespace plenk::media
