// ocr: the text read off the first pages of a scanned PDF, into text.txt.
#include "media/documents/pdf_document.hpp"
#include "media/frame/constants.hpp"
#include "media/frame/errors.hpp"
#include "media/frame/paths.hpp"
#include "media/verbs.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace plenk::media {

namespace {

// Pages this thin are rules or slivers, not something to read.
constexpr double MIN_PAGE_POINTS = 1.0;

// Pixels per point: OCR_RENDER_SCALE unless that passes OCR_MAX_PIXELS, then the scale that
// meets the cap, but never below one pixel per point.
double pageScale(double w, double h) {
  const double s = std::sqrt(OCR_MAX_PIXELS / (w * h));
  return std::clamp(s, 1.0, OCR_RENDER_SCALE);
}

// Above OCR_MAX_PIXELS a page is drawn at one pixel per point; past this it is not drawn at
// all, so that a page box of absurd size cannot exhaust memory or overflow the pixel count.
constexpr double MAX_DRAWN_PIXELS = 50000000.0;

std::optional<std::pair<int, int>> pixelSize(PageSize box) {
  const double scale = pageScale(box.width, box.height);
  const double w = std::max(1.0, std::round(box.width * scale));
  const double h = std::max(1.0, std::round(box.height * scale));
  if (!(w * h <= MAX_DRAWN_PIXELS)) return std::nullopt;
  return std::pair{static_cast<int>(w), static_cast<int>(h)};
}

std::string joinLines(const RecognisedLines& lines, std::int64_t& count) {
  std::string out;
  bool first = true;
  for (const auto& line : lines) {
    if (!line) continue;
    if (!first) out += '\n';
    out += *line;
    first = false;
    ++count;
  }
  return out;
}

} // namespace

Json verbOCR(Media& media, const Options& opts) {
  const std::string path = inputURL(media, opts);
  const std::string dir = outDir(media, opts);
  const std::int64_t maxChars = intOpt(opts, "--max-chars", DEFAULT_MAX_CHARS, 1000, 5000000);
  const std::int64_t pagesWanted = intOpt(opts, "--pages", DEFAULT_OCR_PAGES, 1, MAX_OCR_PAGES);

  const std::unique_ptr<PdfDocument> doc = openPDF(media, path);
  const std::int64_t pageCount = doc->pageCount();
  if (pageCount < 1) throw MediaError(Code::Input, "that PDF holds no pages");

  const std::int64_t n = std::min(pageCount, pagesWanted);
  std::string text;
  std::int64_t pagesRead = 0;
  std::int64_t lines = 0;
  for (std::int64_t index = 0; index < n; ++index) {
    const std::string number = std::to_string(index + 1);
    const std::optional<PageSize> box = doc->mediaBox(static_cast<int>(index));
    if (!box || !(box->width > MIN_PAGE_POINTS) || !(box->height > MIN_PAGE_POINTS)) continue;

    std::optional<RecognisedLines> found;
    {
      // Only one page's picture is held at a time.
      const auto size = pixelSize(*box);
      const std::optional<Raster> picture =
          size ? doc->draw(static_cast<int>(index), size->first, size->second) : std::nullopt;
      if (!picture)
        throw MediaError(Code::Work, "macOS could not draw page " + number + " of that PDF");
      found = media.recogniser.lines(*picture);
    }
    if (!found)
      throw MediaError(Code::Work, "the text recogniser refused page " + number + " of that PDF");

    if (!text.empty()) text += "\n\n";
    text += "--- Page " + number + " ---\n" + joinLines(*found, lines);
    ++pagesRead;
  }

  const CutText cut = cutText(std::move(text), maxChars);
  // Written only now that every page has been read: a failure above leaves --out untouched.
  const std::string file = outFile(media, dir, "text.txt");
  writeOut(media, cut.text, file, "the text read off that PDF");

  return Json{
      {"ok", true},        {"pages", pageCount}, {"pagesRead", pagesRead},
      {"lines", lines},    {"chars", cut.chars}, {"truncated", cut.truncated || n < pageCount},
      {"file", "text.txt"}};
}

} // namespace plenk::media
