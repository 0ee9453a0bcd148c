#include "media/documents/docs_test_support.hpp"
#include "media/documents/pdf_document.hpp"

namespace plenk::media {
namespace {

using PdfDocumentTest = DocsFixture;

TEST_F(PdfDocumentTest, LooksLikePdfWhereTheMarkerSitsInTheFirst1024Bytes) {
  const struct {
    const char* name;
    std::string bytes;
    bool pdf;
  } cases[] = {
      {"at the start", "%PDF-1.7\n", true},
      {"after 200 bytes", std::string(200, 'x') + "%PDF-1.7", true},
      {"ending at byte 1024", std::string(1019, 'x') + "%PDF-", true},
      {"straddling byte 1024", std::string(1020, 'x') + "%PDF-", false},
      {"at byte 1025", std::string(1025, 'x') + "%PDF-1.7", false},
      {"short without it", "%PDF", false},
      {"empty", "", false},
      {"after a zero byte", std::string("\0\0\0", 3) + "%PDF-", true},
  };
  for (const auto& c : cases) {
    const std::string path = dir / "probe";
    std::filesystem::remove(path);
    testing::writeFile(path, c.bytes);
    EXPECT_EQ(looksLikePDF(path), c.pdf) << c.name;
  }
  EXPECT_FALSE(looksLikePDF(dir / "missing"));
  EXPECT_FALSE(looksLikePDF(dir.path.string()));
}

TEST_F(PdfDocumentTest, OpenRefusesWhatIsNoPdfAndWhatIsLocked) {
  const std::string plain = realPdf("plain.pdf", {{.lines = {"words"}}});
  const std::string locked = dir / "locked.pdf";
  testing::encryptedCopy(plain, locked);
  const std::string junk = dir / "junk.pdf";
  testing::writeFile(junk, "%PDF- but nothing else\n");

  EXPECT_TRUE(openPDF(real, plain));
  auto f = failureOf([&] { openPDF(real, locked); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->code, Code::Input);
  EXPECT_EQ(f->message, "that PDF is locked with a password, so its pages cannot be opened");
  f = failureOf([&] { openPDF(real, junk); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->code, Code::Input);
  EXPECT_EQ(f->message, "macOS could not open that file as a PDF");
}

TEST(CutText, CountsAndCutsUserPerceivedCharacters) {
  // e + combining acute; a family emoji of seven code points; a flag of two.
  const std::string e = "e\u0301";
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
  const std::string flag = "\U0001F1EB\U0001F1F7";
  const std::string text = e + family + flag + "ab";
  const struct {
    std::int64_t max;
    std::string kept;
    std::int64_t chars;
    bool truncated;
  } cases[] = {
      {1, e, 1, true},     {2, e + family, 2, true}, {3, e + family + flag, 3, true},
      {5, text, 5, false}, {6, text, 5, false},
  };
  for (const auto& c : cases) {
    const CutText cut = cutText(text, c.max);
    EXPECT_EQ(cut.text, c.kept) << c.max;
    EXPECT_EQ(cut.chars, c.chars) << c.max;
    EXPECT_EQ(cut.truncated, c.truncated) << c.max;
  }
  EXPECT_EQ(cutText("", 1000).chars, 0);
}

} // namespace
} // namespace plenk::media
