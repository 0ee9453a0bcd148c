#include "platform/linux/pdf_pictures.hpp"

#include <GfxState.h>
#include <OutputDev.h>
#include <PDFDoc.h>
#include <Page.h>
#include <Stream.h>
#include <algorithm>
#include <cmath>

namespace plenk {
namespace {

// Draws nothing: it notes the stored size of each image, where the images land on the page and
// whether anything else shows; asked to, it decodes one image (counted in drawing order) to grey.
class ImageSurvey final : public OutputDev {
public:
  bool upsideDown() override { return true; }
  bool useDrawChar() override { return true; }
  bool interpretType3Chars() override { return false; }

  void drawImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                 GfxImageColorMap* colorMap, bool interpolate, const int* maskColors,
                 bool inlineImg) override {
    if (images == decode && maskColors == nullptr) {
      decoded = grey(str, width, height, colorMap);
    } else {
      // The base skips an inline image's bytes, which the content stream holds.
      OutputDev::drawImage(state, ref, str, width, height, colorMap, interpolate, maskColors,
                           inlineImg);
    }
    note(state, width, height, maskColors == nullptr);
  }
  void drawImageMask(GfxState* state, Object* ref, Stream* str, int width, int height, bool invert,
                     bool interpolate, bool inlineImg) override {
    note(state, width, height, false);
    OutputDev::drawImageMask(state, ref, str, width, height, invert, interpolate, inlineImg);
  }
  void drawMaskedImage(GfxState* state, Object*, Stream*, int width, int height, GfxImageColorMap*,
                       bool, Stream*, int maskWidth, int maskHeight, bool, bool) override {
    note(state, width, height, false);
    note(nullptr, maskWidth, maskHeight, false);
  }
  void drawSoftMaskedImage(GfxState* state, Object*, Stream*, int width, int height,
                           GfxImageColorMap*, bool, Stream*, int maskWidth, int maskHeight,
                           GfxImageColorMap*, bool) override {
    note(state, width, height, false);
    note(nullptr, maskWidth, maskHeight, false);
  }
  void stroke(GfxState*) override { ++marks; }
  void fill(GfxState*) override { ++marks; }
  void eoFill(GfxState*) override { ++marks; }
  void drawChar(GfxState* state, double, double, double, double, double, double, CharCode, int,
                const Unicode*, int) override {
    // Render mode 3 is the invisible text that a scanner's own recognition lays over a scan.
    if (state->getRender() != 3) ++marks;
  }

  PagePictures found;
  // The image that covers the most of the page: its number in drawing order, its area in
  // square points, its pixels per point, and whether it is a plain image drawn upright.
  int cover = -1;
  double coverArea = 0;
  double coverPixelsPerPoint = 0;
  bool coverUpright = false;
  int images = 0;
  // Visible text and paths.
  int marks = 0;
  // The image to decode, and what it gave.
  int decode = -1;
  std::optional<Raster> decoded;

private:
  // state is null for a mask, which only adds to what must be decoded.
  void note(GfxState* state, int width, int height, bool plain) {
    const double pixels = static_cast<double>(std::max(0, width)) * std::max(0, height);
    found.largestPixels = std::max(found.largestPixels, pixels);
    if (state == nullptr) return;
    const int number = images++;
    if (width < 1 || height < 1) return;
    // The image fills the unit square that the current matrix maps onto the page (in points;
    // y grows downwards).
    const double* m = state->getCTM();
    const double w = std::hypot(m[0], m[1]), h = std::hypot(m[2], m[3]);
    const double area = std::fabs(m[0] * m[3] - m[1] * m[2]);
    if (!(w > 0) || !(h > 0) || !(area > coverArea)) return;
    cover = number;
    coverArea = area;
    coverPixelsPerPoint = std::max(width / w, height / h);
    // Its first row at the top, its first column at the left.
    coverUpright = plain && m[1] == 0 && m[2] == 0 && m[0] > 0 && m[3] < 0;
  }

  static std::optional<Raster> grey(Stream* str, int width, int height, GfxImageColorMap* map) {
    if (map == nullptr || !map->isOk()) return std::nullopt;
    Raster out;
    out.width = width;
    out.height = height;
    out.channels = 1;
    out.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    ImageStream image(str, width, map->getNumPixelComps(), map->getBits());
    image.reset();
    const int comps = map->getNumPixelComps();
    for (int y = 0; y < height; ++y) {
      unsigned char* line = image.getLine();
      if (line == nullptr) {
        image.close();
        return std::nullopt;
      }
      std::uint8_t* row = out.pixels.data() + static_cast<std::size_t>(y) * width;
      for (int x = 0; x < width; ++x) {
        GfxGray g;
        map->getGray(line + static_cast<std::ptrdiff_t>(x) * comps, &g);
        row[x] = colToByte(g);
      }
    }
    image.close();
    return out;
  }
};

struct PopplerPictures final : PdfPictures {
  explicit PopplerPictures(const std::string& path)
      : doc(std::make_unique<PDFDoc>(std::make_unique<GooString>(path))) {}

  Page* pageAt(int index) {
    if (!doc->isOk() || index < 0 || index >= doc->getNumPages()) return nullptr;
    return doc->getPage(index + 1);
  }
  static double areaOf(Page* p) {
    const PDFRectangle* box = p->getMediaBox();
    return std::fabs((box->x2 - box->x1) * (box->y2 - box->y1));
  }
  void survey(ImageSurvey& s, int index) {
    doc->displayPage(&s, index + 1, 72, 72, 0, true, false, false);
  }

  std::optional<PagePictures> page(int index) override {
    Page* p = pageAt(index);
    if (p == nullptr) return std::nullopt;
    ImageSurvey s;
    survey(s, index);
    PagePictures out = s.found;
    // A scan: one image over at least half of the page.
    if (s.coverArea >= areaOf(p) / 2 && s.coverArea > 0)
      out.scanPixelsPerPoint = s.coverPixelsPerPoint;
    return out;
  }

  std::optional<Raster> scan(int index) override {
    Page* p = pageAt(index);
    if (p == nullptr) return std::nullopt;
    ImageSurvey s;
    survey(s, index);
    // The whole page, nothing drawn over it or beside it, and no turn of the page itself.
    if (s.cover < 0 || !s.coverUpright || s.marks > 0 || p->getRotate() % 360 != 0 ||
        s.coverArea < areaOf(p) * 0.98)
      return std::nullopt;
    ImageSurvey read;
    read.decode = s.cover;
    survey(read, index);
    if (read.decoded) read.decoded->pixelsPerInch = s.coverPixelsPerPoint * 72.0;
    return std::move(read.decoded);
  }

  std::unique_ptr<PDFDoc> doc;
};

} // namespace

std::unique_ptr<PdfPictures> popplerPictures(const std::string& path) {
  return std::make_unique<PopplerPictures>(path);
}

} // namespace plenk
