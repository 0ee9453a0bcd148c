#include "media/documents/docs_test_support.hpp"
#include "platform/text.hpp"

namespace plenk::media {
namespace {

using Inspect = DocsFixture;

TEST_F(Inspect, TellsAPdfsPagesTextAndFirstPageSize) {
  std::vector<testing::TextPage> pages;
  for (int p = 1; p <= 12; ++p)
    pages.push_back({.lines = testing::proseLines(p, 3)});
  const std::string path = realPdf("twelve.pdf", pages);

  const Json r = verbInspect(real, {{"--in", path}});
  EXPECT_EQ(r["ok"], true);
  EXPECT_EQ(r["kind"], "pdf");
  EXPECT_EQ(r["bytes"], std::filesystem::file_size(path));
  EXPECT_EQ(r["pages"], 12);
  // 595.28 by 841.89: the fractions dropped, not rounded.
  EXPECT_EQ(r["pageWidth"], 595);
  EXPECT_EQ(r["pageHeight"], 841);
  EXPECT_EQ(r["textChars"], text::graphemeCount(poppler->open(path)->text()));
  EXPECT_GT(r["textChars"].get<int>(), 12 * 3 * 40);
  EXPECT_EQ(r.size(), 7u);
}

TEST_F(Inspect, AScanHasNoTextAndAnEmptyPdfNoPageSize) {
  const std::string text = realPdf("text.pdf", {{.lines = {"Hello"}}, {.lines = {"there"}}});
  const std::string scan = dir / "scan.pdf";
  testing::scanOf(text, scan, 72);
  Json r = verbInspect(real, {{"--in", scan}});
  EXPECT_EQ(r["pages"], 2);
  EXPECT_EQ(r["textChars"], 0);

  r = verbInspect(real, {{"--in", realPdf("empty.pdf", {})}});
  EXPECT_EQ(r["kind"], "pdf");
  EXPECT_EQ(r["pages"], 0);
  EXPECT_EQ(r["pageWidth"], 0);
  EXPECT_EQ(r["pageHeight"], 0);
}

TEST_F(Inspect, APdfAfterOtherBytesIsStillAPdf) {
  const std::string path = dir / "prefixed.pdf";
  testing::writeFile(path, std::string(200, '#') + "\n" + testing::textPdf({{.lines = {"x"}}}));
  const Json r = verbInspect(real, {{"--in", path}});
  EXPECT_EQ(r["kind"], "pdf");
  EXPECT_EQ(r["pages"], 1);
}

TEST_F(Inspect, RefusesWhatLooksLikeAPdfButIsNotOrIsLocked) {
  const std::string mention = dir / "notes.txt";
  testing::writeFile(mention, "My notes about the %PDF- header of files.\n");
  const std::string locked = dir / "locked.pdf";
  testing::encryptedCopy(realPdf("plain.pdf", {{.lines = {"secret"}}}), locked);
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {mention, "macOS could not open that file as a PDF"},
      {locked, "that PDF is locked with a password, so its pages cannot be opened"},
  };
  for (const auto& c : cases) {
    auto f = failureOf([&] { verbInspect(real, {{"--in", c.path}}); });
    ASSERT_TRUE(f) << c.path;
    EXPECT_EQ(f->code, Code::Input);
    EXPECT_EQ(f->message, c.message);
  }
}

TEST_F(Inspect, FilesThatDoNotLookLikeAPdfGoToTheRecordingHalf) {
  // The marker first at byte 1025; an empty file. Neither holds a recording either.
  const std::string late = dir / "late.bin";
  testing::writeFile(late, std::string(1025, ' ') + "%PDF-1.7\n");
  const std::string empty = dir / "empty";
  testing::writeFile(empty, "");
  for (const std::string& path : {late, empty}) {
    auto f = failureOf([&] { verbInspect(real, {{"--in", path}}); });
    ASSERT_TRUE(f) << path;
    EXPECT_EQ(f->code, Code::Input);
    EXPECT_EQ(f->message, "that file holds no sound and no picture that macOS can read");
  }
}

TEST_F(Inspect, ChecksInOrderInputFirst) {
  auto f = failureOf([&] { verbInspect(real, {}); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->message, "--in <file> is required for this verb");
  f = failureOf([&] { verbInspect(real, {{"--in", dir / "missing.pdf"}}); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->message, "there is no readable file at the path given to --in");
}

} // namespace
} // namespace plenk::media
