#include "media/documents/pdf_document.hpp"

#include "media/frame/errors.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <fstream>
#include <string_view>

namespace plenk::media {

namespace {
// Many producers put other bytes (a mail header, a print job's preamble) before the marker.
constexpr std::size_t PDF_MARKER_WINDOW = 1024;
constexpr std::string_view PDF_MARKER = "%PDF-";
} // namespace

bool looksLikePDF(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::string head(PDF_MARKER_WINDOW, '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(file.gcount()));
  return head.find(PDF_MARKER) != std::string::npos;
}

std::unique_ptr<PdfDocument> openPDF(Media& media, const std::string& path) {
  // The PDF library reads any file to its end looking for a cross-reference table: a recording
  // of gigabytes took minutes to be refused.
  if (!looksLikePDF(path)) throw MediaError(Code::Input, "macOS could not open that file as a PDF");
  std::unique_ptr<PdfDocument> doc = media.pdf.open(path);
  if (!doc) throw MediaError(Code::Input, "macOS could not open that file as a PDF");
  if (doc->locked())
    throw MediaError(Code::Input,
                     "that PDF is locked with a password, so its pages cannot be opened");
  return doc;
}

CutText cutText(std::string text, std::int64_t maxChars) {
  // Counting stops at the cut: a long text is read only as far as it is kept.
  text::GraphemeCut cut = text::graphemeCut(
      std::move(text), static_cast<std::size_t>(std::max<std::int64_t>(0, maxChars)));
  return CutText{.text = std::move(cut.text),
                 .chars = static_cast<std::int64_t>(cut.count),
                 .truncated = cut.more};
}

} // namespace plenk::media
