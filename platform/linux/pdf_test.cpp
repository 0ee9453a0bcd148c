#include "platform/linux/pdf.hpp"
#include "tests/support/documents.hpp"

#include <algorithm>
#include <gtest/gtest.h>

namespace plenk {
namespace {

using testing::TempDir;
using testing::TextPage;

struct PopplerTest : ::testing::Test {
  std::unique_ptr<PdfDocument> make(const std::vector<TextPage>& pages) {
    const std::string path = dir / "doc.pdf";
    testing::writeFile(path, testing::textPdf(pages));
    return pdf->open(path);
  }
  TempDir dir;
  std::unique_ptr<Pdf> pdf = popplerPdf();
};

TEST_F(PopplerTest, ReadsPagesBoxesAndTextInPageOrder) {
  auto doc = make({{.lines = {"First page words"}},
                   {.lines = {"Second page", "two lines"}},
                   {.width = 300, .height = 200, .lines = {"Third"}}});
  ASSERT_TRUE(doc);
  EXPECT_FALSE(doc->locked());
  EXPECT_EQ(doc->pageCount(), 3);
  auto a4 = doc->mediaBox(0);
  ASSERT_TRUE(a4);
  EXPECT_DOUBLE_EQ(a4->width, 595.28);
  EXPECT_DOUBLE_EQ(a4->height, 841.89);
  EXPECT_DOUBLE_EQ(doc->mediaBox(2)->width, 300);
  EXPECT_FALSE(doc->mediaBox(3));
  EXPECT_FALSE(doc->mediaBox(-1));

  const std::string text = doc->text();
  const auto first = text.find("First page words");
  const auto second = text.find("Second page");
  const auto third = text.find("Third");
  ASSERT_NE(first, std::string::npos) << text;
  ASSERT_NE(second, std::string::npos) << text;
  ASSERT_NE(third, std::string::npos) << text;
  EXPECT_LT(first, second);
  EXPECT_LT(second, text.find("two lines"));
  EXPECT_LT(second, third);
  // One line break between pages, and nothing of the renderer's own at the end.
  EXPECT_NE(text.find("First page words\nSecond page"), std::string::npos) << text;
  EXPECT_EQ(text.back(), 'd');
}

TEST_F(PopplerTest, ScanHasNoText) {
  const std::string text = dir / "text.pdf";
  const std::string scan = dir / "scan.pdf";
  testing::writeFile(text, testing::textPdf({{.lines = {"Hello there"}}, {.lines = {"Again"}}}));
  testing::scanOf(text, scan, 72);
  auto doc = pdf->open(scan);
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->pageCount(), 2);
  EXPECT_EQ(doc->text(), "");
}

TEST_F(PopplerTest, LockedDocumentAnswersAsEmpty) {
  const std::string plain = dir / "plain.pdf";
  const std::string locked = dir / "locked.pdf";
  testing::writeFile(plain, testing::textPdf({{.lines = {"secret words"}}}));
  testing::encryptedCopy(plain, locked);
  auto doc = pdf->open(locked);
  ASSERT_TRUE(doc);
  EXPECT_TRUE(doc->locked());
  // Reaching the pages of a locked document crashes poppler: none of these may.
  EXPECT_EQ(doc->pageCount(), 0);
  EXPECT_EQ(doc->text(), "");
  EXPECT_FALSE(doc->mediaBox(0));
  EXPECT_FALSE(doc->draw(0, 100, 100));
}

TEST_F(PopplerTest, NotAPdfOpensAsNothing) {
  const std::string whole = testing::textPdf({{.lines = {"x"}}});
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"garbage", "%PDF-1.7\nthis is not a document at all\n"},
      {"plain text", "hello, world\n"},
      {"truncated", whole.substr(0, whole.size() / 3)},
  };
  for (const auto& c : cases) {
    const std::string path = dir / c.name;
    testing::writeFile(path, c.bytes);
    EXPECT_FALSE(pdf->open(path)) << c.name;
  }
  EXPECT_FALSE(pdf->open(dir / "missing.pdf"));
}

TEST_F(PopplerTest, ZeroPagesIsADocumentWithoutPages) {
  auto doc = make({});
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->pageCount(), 0);
  EXPECT_EQ(doc->text(), "");
  EXPECT_FALSE(doc->mediaBox(0));
}

TEST_F(PopplerTest, DrawsAtExactlyThePixelSizeAsked) {
  auto doc = make({{.width = 612, .height = 792, .lines = {"Letter page"}, .fontSize = 30},
                   {.width = 595.28, .height = 841.89, .lines = {"A4"}},
                   {.width = 612, .height = 792, .lines = {"Turned"}, .rotate = 90}});
  ASSERT_TRUE(doc);
  auto letter = doc->draw(0, 1224, 1584);
  ASSERT_TRUE(letter);
  EXPECT_EQ(letter->width, 1224);
  EXPECT_EQ(letter->height, 1584);
  EXPECT_EQ(letter->channels, 1);
  EXPECT_DOUBLE_EQ(letter->pixelsPerInch, 144);
  ASSERT_EQ(letter->pixels.size(), 1224u * 1584u);
  // White paper with dark letters on it.
  const auto dark = std::count_if(letter->pixels.begin(), letter->pixels.end(),
                                  [](std::uint8_t v) { return v < 100; });
  EXPECT_GT(dark, 500);
  EXPECT_LT(dark, static_cast<long>(letter->pixels.size() / 10));
  EXPECT_EQ(letter->pixels.front(), 255);

  auto a4 = doc->draw(1, 1191, 1684);
  ASSERT_TRUE(a4);
  EXPECT_EQ(a4->width, 1191);
  EXPECT_EQ(a4->height, 1684);

  // A page turned a quarter is drawn upright: wider than high.
  auto turned = doc->draw(2, 1224, 1584);
  ASSERT_TRUE(turned);
  EXPECT_EQ(turned->width, 1584);
  EXPECT_EQ(turned->height, 1224);

  EXPECT_FALSE(doc->draw(3, 100, 100));
  EXPECT_FALSE(doc->draw(0, 0, 100));
}

TEST_F(PopplerTest, AScanIsGivenAsItsOwnPixelsAndOtherPagesAreNot) {
  // A grey pattern of 300 by 200 pixels at 150 dpi (144 by 96 points), as img2pdf wraps it.
  std::string pgm = "P5 300 200 255\n";
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x)
      pgm += static_cast<char>((x * 7 + y * 13) % 256);
  testing::writeFile(dir / "scan.pgm", pgm);
  testing::run("img2pdf " + dir / "scan.pgm" + " -s 150dpi -o " + dir / "scan.pdf");
  auto scan = pdf->open(dir / "scan.pdf");
  ASSERT_TRUE(scan);
  const auto pictures = scan->pictures(0);
  ASSERT_TRUE(pictures);
  EXPECT_EQ(pictures->largestPixels, 300 * 200);
  EXPECT_NEAR(pictures->scanPixelsPerPoint, 150.0 / 72, 1e-6);
  const auto own = scan->scanImage(0);
  ASSERT_TRUE(own);
  EXPECT_EQ(own->width, 300);
  EXPECT_EQ(own->height, 200);
  EXPECT_NEAR(own->pixelsPerInch, 150, 1e-6);
  EXPECT_EQ(std::string(own->pixels.begin(), own->pixels.end()), pgm.substr(pgm.size() - 60000));

  // Text is drawn, not scanned; the same scan turned by its page is drawn too.
  auto text = make({{.lines = {"Drawn words"}}});
  EXPECT_EQ(text->pictures(0)->scanPixelsPerPoint, 0);
  EXPECT_FALSE(text->scanImage(0));
  testing::run("qpdf --rotate=+90 " + dir / "scan.pdf" + " " + dir / "turned.pdf");
  auto turned = pdf->open(dir / "turned.pdf");
  EXPECT_GT(turned->pictures(0)->scanPixelsPerPoint, 2);
  EXPECT_FALSE(turned->scanImage(0));
  EXPECT_FALSE(scan->pictures(1));
}

} // namespace
} // namespace plenk
