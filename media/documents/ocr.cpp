// ocr: the text read off the first pages of a scanned PDF, into text.txt.
#include "media/documents/pdf_document.hpp"
#include "media/frame/constants.hpp"
#include "media/frame/errors.hpp"
#include "media/frame/paths.hpp"
#include "media/verbs.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace plenk::media {

namespace {

// Pages this thin are rules or slivers, not something to read.
constexpr double MIN_PAGE_POINTS = 1.0;

// A page that is drawn (text and lines) is read best at about 300 dpi.
constexpr double DRAWN_SCALE = 300.0 / 72.0;

// Pixels per point: a scan at its own image's resolution, a drawn page at DRAWN_SCALE, either
// lowered to meet OCR_MAX_PIXELS, but never below one pixel per point.
double pageScale(PageSize box, const PagePictures& pictures) {
  const double wanted = pictures.scanPixelsPerPoint > 0 ? pictures.scanPixelsPerPoint : DRAWN_SCALE;
  const double cap = std::sqrt(OCR_MAX_PIXELS / (box.width * box.height));
  return std::max(1.0, std::min(wanted, cap));
}

// Above OCR_MAX_PIXELS a page is drawn at one pixel per point; past this it is not drawn at
// all, so that a page box of absurd size cannot exhaust memory or overflow the pixel count.
constexpr double MAX_DRAWN_PIXELS = 50000000.0;
// Drawing an image of any size reads every one of its pixels: a page holding a larger one is not
// drawn (60000 by 60000 took minutes), however small it would be drawn.
constexpr double MAX_IMAGE_PIXELS = 250000000.0;

std::optional<std::pair<int, int>> pixelSize(PageSize box, const PagePictures& pictures) {
  const double scale = pageScale(box, pictures);
  const double w = std::max(1.0, std::round(box.width * scale));
  const double h = std::max(1.0, std::round(box.height * scale));
  if (!(w * h <= MAX_DRAWN_PIXELS)) return std::nullopt;
  return std::pair{static_cast<int>(w), static_cast<int>(h)};
}

// The page as the recogniser should see it: a scan that is nothing else as its own pixels, when
// they are within the cap; any other page drawn (a scan at its own resolution, within the cap).
std::optional<Raster> pagePicture(PdfDocument& doc, int index, PageSize box) {
  const PagePictures pictures = doc.pictures(index).value_or(PagePictures{});
  if (!(pictures.largestPixels <= MAX_IMAGE_PIXELS)) return std::nullopt;
  const double ppp = pictures.scanPixelsPerPoint;
  if (ppp > 0 && box.width * ppp * box.height * ppp <= OCR_MAX_PIXELS)
    if (std::optional<Raster> own = doc.scanImage(index)) return own;
  const auto size = pixelSize(box, pictures);
  if (!size) return std::nullopt;
  return doc.draw(index, size->first, size->second);
}

std::string joinLines(const RecognisedLines& lines, std::int64_t& count) {
  std::string out;
  bool first = true;
  for (const auto& line : lines) {
    // A line of white space only is no line.
    if (!line || text::trim(*line).empty()) continue;
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
      const std::optional<Raster> picture = pagePicture(*doc, static_cast<int>(index), *box);
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
