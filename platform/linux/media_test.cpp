#include "platform/linux/media.hpp"
#include "tests/support/recording_fixtures.hpp"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

namespace plenk {
namespace {

using testing::ffmpeg;
using testing::ffprobe;
using testing::TempDir;

class LinuxMedia : public ::testing::Test {
protected:
  // The fixture, made on first use; the test fails when ffmpeg cannot make it.
  std::unique_ptr<Recording> open(const std::string& name) {
    std::string path =
        name == "no-such-file" ? "/nonexistent/file.mp4" : testing::recordingFixtures()(name);
    EXPECT_FALSE(path.empty()) << "ffmpeg could not make " << name;
    return recordings->open(path);
  }
  std::unique_ptr<Recordings> recordings = linuxRecordings();
};

// Mean of one colour channel over a rectangle of the picture.
double mean(const Picture& p, int channel, int x0, int y0, int x1, int y1) {
  double sum = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      sum += p.rgb[(static_cast<std::size_t>(y) * p.width + x) * 3 + channel];
  return sum / ((x1 - x0) * (y1 - y0));
}

TEST_F(LinuxMedia, FactsOfAVideoWithSound) {
  RecordingFacts f = open("clip.mp4")->facts();
  EXPECT_EQ(f.videoTracks, 1);
  EXPECT_EQ(f.audioTracks, 1);
  EXPECT_EQ(f.width, 320);
  EXPECT_EQ(f.height, 240);
  EXPECT_FLOAT_EQ(f.frameRate, 25.0f);
  EXPECT_NEAR(f.duration, 4.0, 0.05);

  RecordingFacts silent = open("silent.mp4")->facts();
  EXPECT_EQ(silent.videoTracks, 1);
  EXPECT_EQ(silent.audioTracks, 0);
  EXPECT_EQ(silent.frameRate, static_cast<float>(30000.0 / 1001.0));
}

TEST_F(LinuxMedia, SoundOnlyContainersHaveOneSoundTrack) {
  for (const char* name : {"tone.m4a", "tone.mp3", "tone.wav", "tone.flac", "tone.ogg", "tone.aiff",
                           "tone.caf", "tone.aac", "tone.ts", "cover.mp3"}) {
    SCOPED_TRACE(name);
    RecordingFacts f = open(name)->facts();
    EXPECT_EQ(f.videoTracks, 0); // cover art is no picture track
    EXPECT_EQ(f.audioTracks, 1);
    EXPECT_EQ(f.width, 0);
    EXPECT_EQ(f.frameRate, 0);
    EXPECT_NEAR(f.duration, 3.0, 0.15);
  }
}

TEST_F(LinuxMedia, StillPicturesTextAndJunkHaveNoTracks) {
  for (const char* name : {"still.jpg", "notes.txt", "empty.mp4", "junk.mov", "no-such-file"}) {
    SCOPED_TRACE(name);
    auto r = open(name);
    RecordingFacts f = r->facts();
    EXPECT_EQ(f.videoTracks, 0);
    EXPECT_EQ(f.audioTracks, 0);
    EXPECT_FALSE(r->pictureAt(0.0, 240));
    EXPECT_FALSE(r->canExportSound());
  }
}

TEST_F(LinuxMedia, LengthOfALiveStreamCannotBeTold) {
  RecordingFacts f = open("live.webm")->facts();
  EXPECT_EQ(f.videoTracks, 1);
  EXPECT_FALSE(std::isfinite(f.duration));
}

TEST_F(LinuxMedia, PictureIsTheFrameShownAtTheMoment) {
  auto r = open("ramp.mp4");
  // Frame N starts at N/10 s and is grey 8N. Moments are asked out of order on purpose.
  struct Case {
    double at;
    int frame;
  };
  for (Case c : {Case{1.25, 12}, Case{0.0, 0}, Case{2.95, 29}, Case{1.2, 12}, Case{0.05, 0},
                 Case{1.1999, 11}, Case{2.0, 20}, Case{0.65, 6}}) {
    SCOPED_TRACE(c.at);
    auto p = r->pictureAt(c.at, 1920);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, 64);
    EXPECT_EQ(p->height, 48);
    EXPECT_NEAR(mean(*p, 1, 0, 0, 64, 48), 8.0 * c.frame, 3.0);
  }
}

TEST_F(LinuxMedia, PictureFitsTheSquareAndIsNeverEnlarged) {
  auto r = open("clip.mp4");
  struct Case {
    int edge, width, height;
  };
  for (Case c :
       {Case{1920, 320, 240}, Case{320, 320, 240}, Case{240, 240, 180}, Case{100, 100, 75}}) {
    auto p = r->pictureAt(1.0, c.edge);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, c.width);
    EXPECT_EQ(p->height, c.height);
    EXPECT_EQ(p->rgb.size(), static_cast<std::size_t>(c.width) * c.height * 3);
  }
}

TEST_F(LinuxMedia, RotatedClipsComeOutUprightWithTheStoredSizeInTheFacts) {
  struct Case {
    const char* name;
    // Where the stored top-left quadrant lands in the 120x160 upright picture (as the ffmpeg
    // tool shows it: "rotate=270" stores a quarter turn clockwise, a phone's portrait clip).
    bool right, bottom;
  };
  for (Case c : {Case{"rot270.mp4", true, false}, Case{"rot90.mp4", false, true},
                 Case{"marker.mp4", false, false}}) {
    SCOPED_TRACE(c.name);
    auto r = open(c.name);
    EXPECT_EQ(r->facts().width, 160);
    EXPECT_EQ(r->facts().height, 120);
    auto p = r->pictureAt(0.5, 1920);
    ASSERT_TRUE(p);
    bool upright = std::string(c.name) == "marker.mp4";
    ASSERT_EQ(p->width, upright ? 160 : 120);
    ASSERT_EQ(p->height, upright ? 120 : 160);
    int hw = p->width / 2, hh = p->height / 2;
    int x0 = c.right ? hw : 0, y0 = c.bottom ? hh : 0;
    // Red where the quadrant landed, black in the opposite quadrant.
    EXPECT_GT(mean(*p, 0, x0 + 4, y0 + 4, x0 + hw - 4, y0 + hh - 4), 200);
    EXPECT_LT(mean(*p, 0, hw - x0 + 4, hh - y0 + 4, 2 * hw - x0 - 4, 2 * hh - y0 - 4), 30);
  }
}

TEST_F(LinuxMedia, RotatedPictureFitsTheSquareByItsUprightSize) {
  auto p = open("rot270.mp4")->pictureAt(0.5, 80);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->width, 60);
  EXPECT_EQ(p->height, 80);
}

TEST_F(LinuxMedia, NoPictureFromSoundOrBadMoments) {
  EXPECT_FALSE(open("tone.m4a")->pictureAt(1.0, 240));
  EXPECT_FALSE(open("cover.mp3")->pictureAt(1.0, 240));
  EXPECT_FALSE(open("clip.mp4")->pictureAt(std::nan(""), 240));
  // Past the end: the last frame is still the one shown.
  EXPECT_TRUE(open("clip.mp4")->pictureAt(100.0, 240));
}

// What ffprobe reads back from an exported file.
struct Probe {
  std::string codec, format;
  double duration = 0;
};
Probe probe(const std::string& path) {
  std::string out = ffprobe("-select_streams a:0 -show_entries stream=codec_name:format=duration,"
                            "format_name -of default=nw=1 " +
                            path);
  Probe p;
  auto value = [&](const std::string& key) {
    auto at = out.find(key + "=");
    if (at == std::string::npos) return std::string();
    auto end = out.find('\n', at);
    return out.substr(at + key.size() + 1, end - at - key.size() - 1);
  };
  p.codec = value("codec_name");
  p.format = value("format_name");
  std::string d = value("duration");
  p.duration = d.empty() ? -1 : std::stod(d);
  return p;
}

TEST_F(LinuxMedia, ExportsAacOfTheAskedLengthFromEachKindOfSource) {
  TempDir out;
  struct Case {
    const char* name;
    double seconds, expected;
  };
  // Copied (AAC already) and encoded sources; a length past the end gives the whole sound.
  for (Case c : {Case{"tone.m4a", 1.5, 1.5}, Case{"clip.mp4", 2.0, 2.0}, Case{"tone.aac", 1.0, 1.0},
                 Case{"tone.ts", 2.0, 2.0}, Case{"tone.wav", 1.5, 1.5}, Case{"tone.mp3", 2.5, 2.5},
                 Case{"tone.ogg", 1.0, 1.0}, Case{"tone.flac", 100.0, 3.0}}) {
    SCOPED_TRACE(c.name);
    std::string path = out / (std::string(c.name) + ".m4a");
    auto r = open(c.name);
    ASSERT_TRUE(r->canExportSound());
    ExportOutcome o = r->exportSound(path, c.seconds);
    ASSERT_TRUE(o.completed) << o.error.value_or("");
    Probe p = probe(path);
    EXPECT_EQ(p.codec, "aac");
    EXPECT_NE(p.format.find("mp4"), std::string::npos);
    // Copied packets end on a whole AAC frame (1024 samples).
    EXPECT_NEAR(p.duration, c.expected, 0.05);
  }
}

TEST_F(LinuxMedia, ExportNeverReplacesAFile) {
  TempDir out;
  std::string path = out / "audio.m4a";
  testing::writeFile(path, "keep me");
  for (const char* name : {"tone.m4a", "tone.wav"}) {
    ExportOutcome o = open(name)->exportSound(path, 1.0);
    EXPECT_FALSE(o.completed);
    ASSERT_TRUE(o.error);
    EXPECT_NE(o.error->find("exists"), std::string::npos) << *o.error;
  }
  EXPECT_EQ(testing::readFile(path), "keep me");
}

TEST_F(LinuxMedia, ExportWithoutSoundFailsReadably) {
  TempDir out;
  auto r = open("silent.mp4");
  EXPECT_FALSE(r->canExportSound());
  ExportOutcome o = r->exportSound(out / "a.m4a", 1.0);
  EXPECT_FALSE(o.completed);
  EXPECT_TRUE(o.error);
}

TEST_F(LinuxMedia, ExportAfterPicturesStartsFromTheStart) {
  TempDir out;
  auto r = open("clip.mp4");
  ASSERT_TRUE(r->pictureAt(3.5, 240));
  ExportOutcome o = r->exportSound(out / "a.m4a", 2.0);
  ASSERT_TRUE(o.completed) << o.error.value_or("");
  EXPECT_NEAR(probe(out / "a.m4a").duration, 2.0, 0.05);
}

} // namespace
} // namespace plenk
