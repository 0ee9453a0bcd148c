#include "platform/linux/pdf.hpp"
#include "platform/linux/recognition.hpp"
#include "tests/support/documents.hpp"

#include <gtest/gtest.h>

namespace plenk {
namespace {

using testing::TempDir;

std::string joined(const RecognisedLines& lines) {
  std::string all;
  for (const auto& l : lines)
    if (l) all += *l + "\n";
  return all;
}

TEST(TesseractRecogniser, ReadsTheWordsOfADrawnScanLineByLine) {
  TempDir dir;
  const std::string text = dir / "text.pdf";
  const std::string scan = dir / "scan.pdf";
  testing::writeFile(
      text, testing::textPdf({{.width = 612,
                               .height = 792,
                               .lines = {"The quiet harbour", "", "Copper lantern at morning"},
                               .fontSize = 20},
                              {.width = 612, .height = 792}}));
  testing::scanOf(text, scan, 150);
  auto doc = popplerPdf()->open(scan);
  ASSERT_TRUE(doc);
  auto recogniser = tesseractRecogniser();

  auto page = doc->draw(0, 1224, 1584);
  ASSERT_TRUE(page);
  auto lines = recogniser->lines(*page);
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->size(), 2u) << joined(*lines);
  EXPECT_EQ((*lines)[0], "The quiet harbour");
  EXPECT_EQ((*lines)[1], "Copper lantern at morning");

  // The same engine reads the next picture: a blank page holds no lines.
  auto blank = doc->draw(1, 1224, 1584);
  ASSERT_TRUE(blank);
  auto none = recogniser->lines(*blank);
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty()) << joined(*none);
}

TEST(TesseractRecogniser, RefusesPicturesThatDoNotAddUp) {
  auto recogniser = tesseractRecogniser();
  Raster empty;
  EXPECT_FALSE(recogniser->lines(empty));
  Raster shortRows{.width = 10,
                   .height = 10,
                   .channels = 1,
                   .pixelsPerInch = 144,
                   .pixels = std::vector<std::uint8_t>(99, 255)};
  EXPECT_FALSE(recogniser->lines(shortRows));
  Raster fourChannels{.width = 2,
                      .height = 2,
                      .channels = 4,
                      .pixelsPerInch = 144,
                      .pixels = std::vector<std::uint8_t>(16, 255)};
  EXPECT_FALSE(recogniser->lines(fourChannels));
}

TEST(TesseractRecogniser, WithoutItsDataEveryPictureFails) {
  auto recogniser = tesseractRecogniser("/nonexistent/tessdata");
  Raster white{.width = 64,
               .height = 64,
               .channels = 1,
               .pixelsPerInch = 144,
               .pixels = std::vector<std::uint8_t>(64 * 64, 255)};
  EXPECT_FALSE(recogniser->lines(white));
  EXPECT_FALSE(recogniser->lines(white));
}

} // namespace
} // namespace plenk
