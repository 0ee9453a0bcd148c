#include "media/documents/docs_test_support.hpp"
#include "platform/text.hpp"

namespace plenk::media {
namespace {

using Ocr = DocsFixture;

MemoryPdfFile pagesOf(int count, PageSize box = {612, 792}) {
  MemoryPdfFile file;
  file.pages.assign(static_cast<std::size_t>(count), MemoryPage{.box = box});
  return file;
}

TEST_F(Ocr, ReadsTheRenderedWordsBackPageByPage) {
  const std::vector<testing::TextPage> pages = {
      {.width = 612,
       .height = 792,
       .lines = {"The quiet harbour", "Copper lantern"},
       .fontSize = 20},
      {.width = 612, .height = 792, .lines = {"Silver river at morning"}, .fontSize = 20},
      {.width = 612, .height = 792, .lines = {"Violet garden stone"}, .fontSize = 20}};
  const std::string scan = dir / "scan.pdf";
  testing::scanOf(realPdf("text.pdf", pages), scan, 150);

  const Json r = verbOCR(real, opts(scan));
  const std::string expected = "--- Page 1 ---\nThe quiet harbour\nCopper lantern\n\n"
                               "--- Page 2 ---\nSilver river at morning\n\n"
                               "--- Page 3 ---\nViolet garden stone";
  EXPECT_EQ(written(), expected);
  EXPECT_EQ(r, (Json{{"ok", true},
                     {"pages", 3},
                     {"pagesRead", 3},
                     {"lines", 4},
                     {"chars", text::graphemeCount(expected)},
                     {"truncated", false},
                     {"file", "text.txt"}}));
}

TEST_F(Ocr, ReadsEachPageAtItsOwnResolutionWithinTheCap) {
  const double at150 = 150.0 / 72, at600 = 600.0 / 72;
  const struct {
    const char* name;
    PageSize box;
    PagePictures pictures;
    bool scanAlone;
    int width;
    int height;
  } cases[] = {
      // Drawn pages at 300 dpi.
      {"US Letter", {612, 792}, {}, false, 2550, 3300},
      {"A4", {595.28, 841.89}, {}, false, 2480, 3508},
      {"just over one point", {1.5, 1.5}, {}, false, 6, 6},
      // 4,000,000 square points: the scale that gives 12,000,000 pixels, sqrt(3).
      {"between the thresholds", {2000, 2000}, {}, false, 3464, 3464},
      // Over 12,000,000 square points: one pixel a point, over the cap.
      {"larger than the cap", {4000, 4000}, {}, false, 4000, 4000},
      // Scans: their own pixels when nothing else is on the page, else drawn at their resolution.
      {"a scan alone", {612, 792}, {1275 * 1650, at150}, true, 1275, 1650},
      {"a scan under other marks", {612, 792}, {1275 * 1650, at150}, false, 1275, 1650},
      {"a 600 dpi scan, drawn at the cap", {612, 792}, {5100 * 6600, at600}, true, 3045, 3941},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    recogniser.seen.clear();
    MemoryPdfFile file = pagesOf(1, c.box);
    file.pages[0].pictures = c.pictures;
    file.pages[0].scanAlone = c.scanAlone;
    verbOCR(mem, opts(memoryPdf("page.pdf", file)));
    ASSERT_EQ(recogniser.seen.size(), 1u);
    EXPECT_EQ(recogniser.seen[0].width, c.width);
    EXPECT_EQ(recogniser.seen[0].height, c.height);
    std::filesystem::remove(out() + "/text.txt");
  }
}

TEST_F(Ocr, ReadsOnlyTheFirstPagesAsked) {
  const struct {
    const char* name;
    int pages;
    const char* option; // --pages, or nullptr
    int read;
    bool truncated;
  } cases[] = {
      {"default of 10", 30, nullptr, 10, true}, {"all of a short document", 3, nullptr, 3, false},
      {"0 reads one", 5, "0", 1, true},         {"500 reads fifty", 60, "500", 50, true},
      {"exactly the count", 4, "4", 4, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    recogniser.seen.clear();
    Options o = opts(memoryPdf("doc.pdf", pagesOf(c.pages)));
    if (c.option) o["--pages"] = c.option;
    const Json r = verbOCR(mem, o);
    EXPECT_EQ(r["pages"], c.pages);
    EXPECT_EQ(r["pagesRead"], c.read);
    EXPECT_EQ(r["truncated"], c.truncated);
    EXPECT_EQ(recogniser.seen.size(), static_cast<std::size_t>(c.read));
    const std::string text = written();
    EXPECT_NE(text.find("--- Page " + std::to_string(c.read) + " ---"), std::string::npos);
    EXPECT_EQ(text.find("--- Page " + std::to_string(c.read + 1) + " ---"), std::string::npos);
    std::filesystem::remove(out() + "/text.txt");
  }
}

TEST_F(Ocr, BlocksKeepTheirPageNumbersAcrossSkippedAndBlankPages) {
  MemoryPdfFile file = pagesOf(5);
  file.pages[1].box = PageSize{1, 792}; // one point wide
  file.pages[3].box = std::nullopt;     // cannot be fetched
  recogniser.answers = {RecognisedLines{"first", std::nullopt, " \t ", "", "  kept as read  "},
                        RecognisedLines{}, RecognisedLines{"last"}};
  const Json r = verbOCR(mem, opts(memoryPdf("doc.pdf", file)));
  EXPECT_EQ(written(), "--- Page 1 ---\nfirst\n  kept as read  \n\n"
                       "--- Page 3 ---\n\n\n"
                       "--- Page 5 ---\nlast");
  EXPECT_EQ(r["pagesRead"], 3);
  EXPECT_EQ(r["lines"], 3);
  EXPECT_EQ(r["truncated"], false);
}

TEST_F(Ocr, CutsTheTextButCountsEveryLine) {
  recogniser.answers = {RecognisedLines(15, std::string(99, 'x'))};
  const Json r = verbOCR(mem, opts(memoryPdf("doc.pdf", pagesOf(1)), {{"--max-chars", "1000"}}));
  EXPECT_EQ(r["lines"], 15);
  EXPECT_EQ(r["chars"], 1000);
  EXPECT_EQ(r["truncated"], true);
  const std::string text = written();
  EXPECT_EQ(text.size(), 1000u);
  EXPECT_TRUE(text.starts_with("--- Page 1 ---\nxxx"));
}

TEST_F(Ocr, AFailingPageEndsTheRunAndWritesNothing) {
  MemoryPdfFile file = pagesOf(4);
  file.pages[1].box = PageSize{612, 0.5};
  file.pages[3].drawFails = true;
  const std::string path = memoryPdf("doc.pdf", file);

  // The second picture recognised is page 3: page 2 is skipped.
  recogniser.answers = {RecognisedLines{"fine"}, std::nullopt};
  auto f = failureOf([&] { verbOCR(mem, opts(path)); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->code, Code::Work);
  EXPECT_EQ(f->message, "the text recogniser refused page 3 of that PDF");
  EXPECT_TRUE(outEmpty());

  recogniser.answers.clear();
  recogniser.seen.clear();
  f = failureOf([&] { verbOCR(mem, opts(path)); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->code, Code::Work);
  EXPECT_EQ(f->message, "macOS could not draw page 4 of that PDF");
  EXPECT_EQ(recogniser.seen.size(), 2u);
  EXPECT_TRUE(outEmpty());

  // A page box too large to draw at any scale is a page that cannot be drawn.
  f = failureOf([&] { verbOCR(mem, opts(memoryPdf("huge.pdf", pagesOf(1, {20000, 20000})))); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->message, "macOS could not draw page 1 of that PDF");
  EXPECT_TRUE(outEmpty());
}

TEST_F(Ocr, APageHoldingAnImageTooLargeToDecodeIsNotDrawn) {
  // 60000 by 60000 pixels on a small page, its data cut short: drawing it at any size reads
  // every one of its pixels. (No cross-reference table: poppler rebuilds it.)
  testing::writeFile(dir / "huge-image.pdf",
                     "%PDF-1.7\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                     "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
                     "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R "
                     "/Resources << /XObject << /I 5 0 R >> >> >> endobj\n"
                     "4 0 obj << /Length 28 >> stream\nq 200 0 0 100 0 0 cm /I Do Q\nendstream "
                     "endobj\n5 0 obj << /Type /XObject /Subtype /Image /Width 60000 /Height 60000 "
                     "/ColorSpace /DeviceGray /BitsPerComponent 8 /Length 64 >> stream\n" +
                         std::string(64, '\0') + "\nendstream endobj\ntrailer << /Root 1 0 R >>\n");
  const auto f = failureOf([&] { verbOCR(real, opts(dir / "huge-image.pdf")); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->code, Code::Work);
  EXPECT_EQ(f->message, "macOS could not draw page 1 of that PDF");
  EXPECT_TRUE(outEmpty());
}

TEST_F(Ocr, ATakenNameEndsTheRunOnlyAfterEveryPageWasRead) {
  testing::writeFile(out() + "/text.txt", "kept");
  auto f = failureOf([&] { verbOCR(mem, opts(memoryPdf("doc.pdf", pagesOf(3)))); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->code, Code::Out);
  EXPECT_EQ(f->message,
            "the directory given to --out holds a file called text.txt; nothing was written");
  EXPECT_EQ(recogniser.seen.size(), 3u);
  EXPECT_EQ(written(), "kept");
}

TEST_F(Ocr, RefusesBeforeDrawingAnything) {
  const std::string jpeg = dir / "photo.jpg";
  testing::writeFile(jpeg, "\xFF\xD8\xFF\xE0 not really a picture");
  const Refusal cases[] = {
      {"--max-chars before --pages",
       opts(memoryPdf("a.pdf", pagesOf(1)), {{"--max-chars", "x"}, {"--pages", "y"}}), Code::Usage,
       "--max-chars must be a whole number"},
      {"--pages", opts(memoryPdf("b.pdf", pagesOf(1)), {{"--pages", "two"}}), Code::Usage,
       "--pages must be a whole number"},
      {"a picture", opts(jpeg), Code::Input, "macOS could not open that file as a PDF"},
      {"locked", opts(memoryPdf("c.pdf", MemoryPdfFile{.locked = true, .pages = {{}}})),
       Code::Input, "that PDF is locked with a password, so its pages cannot be opened"},
      {"no pages", opts(memoryPdf("d.pdf", pagesOf(0))), Code::Input, "that PDF holds no pages"},
  };
  expectRefusals(
      cases, [&](const Options& o) { verbOCR(mem, o); }, out());
  EXPECT_TRUE(pdf.drawings.empty());
}

} // namespace
} // namespace plenk::media
