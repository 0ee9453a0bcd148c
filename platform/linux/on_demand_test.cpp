#include "platform/linux/on_demand.hpp"
#include "tests/support/documents.hpp"
#include "tests/support/fixtures.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>

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

  const std::string doc = dir / "doc.pdf";
  testing::writeFile(doc, testing::textPdf({{.lines = {"Hello"}}}));
  const std::unique_ptr<PdfDocument> opened = pdfOnDemand(besideProgram(PDF_MODULE))->open(doc);
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->pageCount(), 1);
  EXPECT_NE(opened->text().find("Hello"), std::string::npos);

  const auto recogniser = recogniserOnDemand(besideProgram(RECOGNITION_MODULE));
  Raster blank{.width = 64, .height = 64, .channels = 1, .pixelsPerInch = 144, .pixels = {}};
  blank.pixels.assign(64 * 64, 255);
  const std::optional<RecognisedLines> lines = recogniser->lines(blank);
  ASSERT_TRUE(lines);
  EXPECT_TRUE(lines->empty());
}

// A broken installation fails the run; it must not read as "your file has no sound" or "this is
// no PDF".
TEST(OnDemand, AMissingModuleFailsEveryCall) {
  const std::string missing = besideProgram("no-such-module.so");
  const Picture grey{2, 2, std::vector<std::uint8_t>(12, 128)};
  const auto images = imagesOnDemand(missing);
  EXPECT_THROW(images->png(grey), std::runtime_error);
  EXPECT_THROW(images->jpeg(grey, 0.5), std::runtime_error);
  EXPECT_THROW(images->resize(grey, 1, 1), std::runtime_error);
  // Asked again, it still fails: the first failure is remembered, not retried into success.
  EXPECT_THROW(images->thumbnail("/etc/hostname", 10), std::runtime_error);

  EXPECT_THROW(recordingsOnDemand(missing)->open("/etc/hostname"), std::runtime_error);
  EXPECT_THROW(pdfOnDemand(missing)->open("/etc/hostname"), std::runtime_error);
  const Raster blank{.width = 4,
                     .height = 4,
                     .channels = 1,
                     .pixelsPerInch = 0,
                     .pixels = std::vector<std::uint8_t>(16, 255)};
  EXPECT_THROW(recogniserOnDemand(missing)->lines(blank), std::runtime_error);

  // A file that is not a module of that service loads nothing either.
  EXPECT_THROW(imagesOnDemand(besideProgram(RECOGNITION_MODULE))->png(grey), std::runtime_error);
}

} // namespace
} // namespace plenk
