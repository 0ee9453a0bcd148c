// inspect: what a file is, a PDF or a recording, before the host chooses another verb.
#include "media/documents/pdf_document.hpp"
#include "media/frame/paths.hpp"
#include "media/recordings/inspect_recording.hpp"
#include "media/verbs.hpp"
#include "platform/text.hpp"

#include <cmath>

namespace plenk::media {

namespace {
std::int64_t truncated(double points) {
  return std::isfinite(points) ? static_cast<std::int64_t>(std::trunc(points)) : 0;
}
} // namespace

Json verbInspect(Media& media, const Options& opts) {
  const std::string path = inputURL(media, opts);
  const std::int64_t bytes = fileSize(media, path);
  if (!looksLikePDF(path)) return inspectRecording(media, path, bytes);

  const std::unique_ptr<PdfDocument> doc = openPDF(media, path);
  const auto textChars = static_cast<std::int64_t>(text::graphemeCount(doc->text()));
  const PageSize first = doc->mediaBox(0).value_or(PageSize{});
  return Json{{"ok", true},
              {"kind", "pdf"},
              {"bytes", bytes},
              {"pages", doc->pageCount()},
              {"textChars", textChars},
              {"pageWidth", truncated(first.width)},
              {"pageHeight", truncated(first.height)}};
}

} // namespace plenk::media
