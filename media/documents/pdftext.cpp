// pdftext: the text layer of a PDF into text.txt, with a hint when it looks like a scan.
#include "media/documents/pdf_document.hpp"
#include "media/frame/constants.hpp"
#include "media/frame/paths.hpp"
#include "media/verbs.hpp"
#include "platform/text.hpp"

namespace plenk::media {

namespace {
// Fewer characters than this per page, on average, is what a scan without a text layer gives.
constexpr std::int64_t SPARSE_CHARS_PER_PAGE = 32;
} // namespace

Json verbPdfText(Media& media, const Options& opts) {
  const std::string path = inputURL(media, opts);
  const std::string dir = outDir(media, opts);
  const std::int64_t maxChars = intOpt(opts, "--max-chars", DEFAULT_MAX_CHARS, 1000, 5000000);

  const std::unique_ptr<PdfDocument> doc = openPDF(media, path);
  const std::int64_t pages = doc->pageCount();
  // Pages past the cut are not read: a start of the text longer than the cut is enough to cut
  // it and to tell that it was cut.
  const CutText cut = cutText(doc->text(static_cast<std::size_t>(maxChars)), maxChars);

  const std::string file = outFile(media, dir, "text.txt");
  writeOut(media, cut.text, file, "the text of that PDF");

  // Only whether the trimmed text reaches the threshold matters, so counting stops there.
  const std::int64_t enough = pages * SPARSE_CHARS_PER_PAGE;
  const auto kept = static_cast<std::int64_t>(
      text::graphemeCountUpTo(text::trim(cut.text), static_cast<std::size_t>(enough)));
  return Json{{"ok", true},         {"pages", pages},
              {"chars", cut.chars}, {"truncated", cut.truncated},
              {"file", "text.txt"}, {"sparse", kept < enough}};
}

} // namespace plenk::media
