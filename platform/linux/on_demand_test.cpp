#include "platform/linux/on_demand.hpp"
#include "tests/support/fixtures.hpp"

#include <cmath>
#include <gtest/gtest.h>

namespace plenk {
namespace {

// The test program sits beside the modules in the build folder, as plenk-media does.
TEST(OnDemand, EachServiceLoadsItsModuleAtFirstUse) {
  const auto images = imagesOnDemand(besideProgram(IMAGES_MODULE));
  const Picture grey{2, 2, std::vector<std::uint8_t>(12, 128)};
  const std::optional<std::string> png = images->png(grey);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->substr(1, 3), "PNG");

  testing::TempDir dir;
  const std::string wav = dir / "tone.wav";
  ASSERT_TRUE(testing::ffmpeg("-f lavfi -i sine=duration=0.2 " + wav));
  const auto recordings = recordingsOnDemand(besideProgram(RECORDINGS_MODULE));
  const RecordingFacts facts = recordings->open(wav)->facts();
  EXPECT_EQ(facts.audioTracks, 1);
  EXPECT_NEAR(facts.duration, 0.2, 0.05);

  const auto recogniser = recogniserOnDemand(besideProgram(RECOGNITION_MODULE));
  Raster blank{.width = 64, .height = 64, .channels = 1, .pixelsPerInch = 144, .pixels = {}};
  blank.pixels.assign(64 * 64, 255);
  const std::optional<RecognisedLines> lines = recogniser->lines(blank);
  ASSERT_TRUE(lines);
  EXPECT_TRUE(lines->empty());
}

TEST(OnDemand, AMissingModuleAnswersAsAFailure) {
  const std::string missing = besideProgram("no-such-module.so");
  const Picture grey{2, 2, std::vector<std::uint8_t>(12, 128)};
  const auto images = imagesOnDemand(missing);
  EXPECT_FALSE(images->png(grey));
  EXPECT_FALSE(images->jpeg(grey, 0.5));
  EXPECT_FALSE(images->resize(grey, 1, 1));
  EXPECT_FALSE(images->thumbnail("/etc/hostname", 10));

  // Recordings never answer nothing: without the module every file has no tracks.
  const auto recordings = recordingsOnDemand(missing);
  const std::unique_ptr<Recording> r = recordings->open("/etc/hostname");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->facts().videoTracks, 0);
  EXPECT_EQ(r->facts().audioTracks, 0);
  EXPECT_FALSE(std::isfinite(r->facts().duration));
  EXPECT_FALSE(r->pictureAt(0, 100));
  EXPECT_FALSE(r->canExportSound());
  EXPECT_FALSE(r->exportSound("/nonexistent/a.m4a", 1).completed);

  const Raster blank{.width = 4,
                     .height = 4,
                     .channels = 1,
                     .pixelsPerInch = 0,
                     .pixels = std::vector<std::uint8_t>(16, 255)};
  EXPECT_FALSE(recogniserOnDemand(missing)->lines(blank));

  // A file that is not a module of that service loads nothing either.
  EXPECT_FALSE(imagesOnDemand(besideProgram(RECOGNITION_MODULE))->png(grey));
}

} // namespace
} // namespace plenk
