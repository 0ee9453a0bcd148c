#include "media/documents/docs_test_support.hpp"
#include "platform/text.hpp"

namespace plenk::media {
namespace {

using PdfText = DocsFixture;

std::string repeated(const std::string& unit, int times) {
  std::string s;
  for (int i = 0; i < times; ++i)
    s += unit;
  return s;
}

TEST_F(PdfText, WritesTheWholeTextLayerOrItsStart) {
  std::vector<testing::TextPage> pages;
  for (int p = 1; p <= 2; ++p)
    pages.push_back({.lines = testing::proseLines(p, 45), .fontSize = 10});
  const std::string path = realPdf("two.pdf", pages);
  const std::string full = poppler->open(path)->text();
  const auto fullChars = static_cast<std::int64_t>(text::graphemeCount(full));
  ASSERT_GT(fullChars, 4000);

  Json r = verbPdfText(real, opts(path));
  EXPECT_EQ(r, (Json{{"ok", true},
                     {"pages", 2},
                     {"chars", fullChars},
                     {"truncated", false},
                     {"file", "text.txt"},
                     {"sparse", false}}));
  EXPECT_EQ(written(), full);

  std::filesystem::remove(out() + "/text.txt");
  r = verbPdfText(real, opts(path, {{"--max-chars", "1000"}}));
  EXPECT_EQ(r["chars"], 1000);
  EXPECT_EQ(r["truncated"], true);
  EXPECT_EQ(written(), text::graphemePrefix(full, 1000));
}

TEST_F(PdfText, ACutOfALongTextKeepsEveryKeyExact) {
  // 60 pages of text, then 20 empty ones: a cut at the text's very end was not cut.
  std::vector<testing::TextPage> pages;
  for (int p = 1; p <= 80; ++p)
    pages.push_back({.lines = p <= 60 ? testing::proseLines(p, 10) : std::vector<std::string>{}});
  const std::string path = realPdf("long.pdf", pages);
  const std::string full = poppler->open(path)->text();
  // ASCII only: characters are bytes. The first 30 pages end just before page 31's line break.
  const std::int64_t page30 = static_cast<std::int64_t>(full.find("Page 31 line 1:")) - 1;
  const auto all = static_cast<std::int64_t>(full.size());
  ASSERT_GT(page30, 1000);
  for (std::int64_t max : {std::int64_t{1000}, page30, page30 + 1, all - 1, all, all + 1}) {
    SCOPED_TRACE(max);
    std::filesystem::remove(out() + "/text.txt");
    const Json r = verbPdfText(real, opts(path, {{"--max-chars", std::to_string(max)}}));
    const std::string kept = full.substr(0, static_cast<std::size_t>(std::min(max, all)));
    EXPECT_EQ(written(), kept);
    EXPECT_EQ(r, (Json{{"ok", true},
                       {"pages", 80},
                       {"chars", kept.size()},
                       {"truncated", max < all},
                       {"file", "text.txt"},
                       {"sparse", text::trim(kept).size() < 80 * 32}}));
  }
}

TEST_F(PdfText, AScanGivesAnEmptyFileAndIsSparse) {
  std::vector<testing::TextPage> pages(10, testing::TextPage{.lines = {"Scanned words"}});
  const std::string scan = dir / "scan.pdf";
  testing::scanOf(realPdf("text.pdf", pages), scan, 50);
  const Json r = verbPdfText(real, opts(scan));
  EXPECT_EQ(r["pages"], 10);
  EXPECT_EQ(r["chars"], 0);
  EXPECT_EQ(r["truncated"], false);
  EXPECT_EQ(r["sparse"], true);
  EXPECT_TRUE(std::filesystem::exists(out() + "/text.txt"));
  EXPECT_EQ(written(), "");
}

TEST_F(PdfText, SparseBelow32CharactersAPageOfTrimmedText) {
  const struct {
    const char* name;
    int pages;
    std::string text;
    bool sparse;
  } cases[] = {
      {"319 over 10 pages", 10, "\n\n  " + repeated("a", 319) + " \n\n", true},
      {"320 over 10 pages", 10, "\n\n  " + repeated("a", 320) + " \n\n", false},
      {"blank lines only", 1, "\n \n\t\n", true},
      {"no pages", 0, "", false},
      {"combining characters count once", 1, repeated("e\u0301", 31), true},
      {"32 combining characters", 1, repeated("e\u0301", 32), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryPdfFile file;
    file.pages.resize(static_cast<std::size_t>(c.pages));
    if (c.pages > 0) file.pages[0].text = c.text;
    const Json r = verbPdfText(mem, opts(memoryPdf("doc.pdf", file)));
    EXPECT_EQ(r["sparse"], c.sparse);
    EXPECT_EQ(r["pages"], c.pages);
    EXPECT_EQ(written(), c.text);
    std::filesystem::remove(out() + "/text.txt");
  }
}

TEST_F(PdfText, TheCutNeverSplitsACharacterAndIsClamped) {
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
  MemoryPdfFile file;
  file.pages.push_back({.text = repeated(family, 1500)});
  const std::string path = memoryPdf("emoji.pdf", file);
  // 50 is below the smallest limit and works as 1000.
  const Json r = verbPdfText(mem, opts(path, {{"--max-chars", "50"}}));
  EXPECT_EQ(r["chars"], 1000);
  EXPECT_EQ(r["truncated"], true);
  EXPECT_EQ(written(), repeated(family, 1000));
  // Cut after the text was counted: 1000 characters on one page is not sparse.
  EXPECT_EQ(r["sparse"], false);
}

TEST_F(PdfText, NeverReplacesTextTxt) {
  MemoryPdfFile file;
  file.pages.push_back({.text = "new words"});
  const std::string path = memoryPdf("doc.pdf", file);
  testing::writeFile(out() + "/text.txt", "older text");
  auto f = failureOf([&] { verbPdfText(mem, opts(path)); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->code, Code::Out);
  EXPECT_EQ(f->message,
            "the directory given to --out holds a file called text.txt; nothing was written");
  EXPECT_EQ(written(), "older text");
}

TEST_F(PdfText, ChecksOptionsThenTheDocument) {
  MemoryPdfFile locked{.locked = true, .pages = {{.text = "secret"}}};
  const std::string lockedPath = memoryPdf("locked.pdf", locked);
  const std::string notPdf = dir / "notes.txt";
  testing::writeFile(notPdf, "hello");
  const Refusal cases[] = {
      {"no --in", {{"--out", out()}}, Code::Usage, "--in <file> is required for this verb"},
      {"no --out",
       {{"--in", lockedPath}},
       Code::Usage,
       "--out <directory> is required for this verb"},
      {"--out a file",
       {{"--in", lockedPath}, {"--out", notPdf}},
       Code::Out,
       "the path given to --out is not a directory that exists"},
      {"bad --max-chars before the document", opts(lockedPath, {{"--max-chars", "12.5"}}),
       Code::Usage, "--max-chars must be a whole number"},
      {"locked", opts(lockedPath), Code::Input,
       "that PDF is locked with a password, so its pages cannot be opened"},
      {"not a PDF", opts(notPdf), Code::Input, "macOS could not open that file as a PDF"},
  };
  expectRefusals(
      cases, [&](const Options& o) { verbPdfText(mem, o); }, out());
}

} // namespace
} // namespace plenk::media

namespace plenk::media {
namespace {

TEST_F(PdfText, AFileWithoutThePdfMarkerIsRefusedBeforeTheLibrarySeesIt) {
  // The PDF library would read a recording of gigabytes to its end before refusing it: pdftext
  // and ocr look for the marker first, as inspect does. This library would open anything.
  MemoryPdfFile file{.pages = {MemoryPage{.text = "words"}}};
  const std::string marked = memoryPdf("doc.pdf", file);
  const std::string recording = dir / "clip.mov";
  testing::writeFile(recording, std::string(4096, '\0') + "%PDF-1.7\n");
  pdf.files[recording] = file;
  for (const std::string verb : {"pdftext", "ocr"}) {
    SCOPED_TRACE(verb);
    auto run = [&](const std::string& in) {
      return verb == "pdftext" ? verbPdfText(mem, opts(in)) : verbOCR(mem, opts(in));
    };
    auto f = failureOf([&] { run(recording); });
    ASSERT_TRUE(f);
    EXPECT_EQ(f->code, Code::Input);
    EXPECT_EQ(f->message, "macOS could not open that file as a PDF");
    EXPECT_TRUE(outEmpty());
    EXPECT_EQ(run(marked)["ok"], true);
    std::filesystem::remove(out() + "/text.txt");
  }
}

} // namespace
} // namespace plenk::media
