#include "platform/linux/pdf.hpp"

#include "platform/linux/pdf_pictures.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <cstring>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>

namespace plenk {
namespace {

// poppler reports damaged files on standard error, which belongs to the program's own line.
void quiet(const std::string&, void*) {}

// ICU rather than poppler's own to_utf8(), which goes through iconv at several times the cost;
// an unpaired surrogate becomes U+FFFD either way.
std::string utf8(const poppler::ustring& s) {
  return text::fromUtf16(std::u16string(s.begin(), s.end()));
}

bool turnedQuarter(const poppler::page& page) {
  const auto o = page.orientation();
  return o == poppler::page::landscape || o == poppler::page::seascape;
}

struct PopplerDocument final : PdfDocument {
  PopplerDocument(std::unique_ptr<poppler::document> d, std::string p)
      : doc(std::move(d)), path(std::move(p)) {}

  // pages() and create_page() on a locked document crash poppler 22.12.
  bool locked() override { return doc->is_locked(); }

  int pageCount() override { return locked() ? 0 : std::max(0, doc->pages()); }

  std::unique_ptr<poppler::page> page(int index) {
    if (index < 0 || index >= pageCount()) return nullptr;
    return std::unique_ptr<poppler::page>(doc->create_page(index));
  }

  std::string text(std::size_t enough) override {
    std::string all;
    // The characters of the pages read so far. A line break between pages never joins with
    // what is beside it into one character, so the joined text holds at least as many.
    std::size_t counted = 0;
    const int n = pageCount();
    for (int i = 0; i < n && counted <= enough; ++i) {
      auto p = page(i);
      if (!p) continue;
      // The physical layout interleaves columns; this one gives reading order.
      std::string t = utf8(p->text(poppler::rectf(), poppler::page::non_raw_non_physical_layout));
      // Every page ends in a blank line and a form feed of poppler's own.
      while (!t.empty() && (t.back() == '\f' || t.back() == '\n'))
        t.pop_back();
      if (t.empty()) continue;
      if (!all.empty()) all += '\n';
      all += t;
      // A character is at least a byte: counting starts once the bytes are past enough.
      if (all.size() <= enough) continue;
      counted = counted == 0 ? text::graphemeCountUpTo(all, enough + 1)
                             : counted + text::graphemeCountUpTo(t, enough - counted + 1);
    }
    return all;
  }

  std::optional<PageSize> mediaBox(int index) override {
    auto p = page(index);
    if (!p) return std::nullopt;
    const poppler::rectf r = p->page_rect(poppler::media_box);
    return PageSize{r.width(), r.height()};
  }

  std::optional<PagePictures> pictures(int index) override {
    if (index < 0 || index >= pageCount()) return std::nullopt;
    if (!survey) survey = popplerPictures(path);
    return survey->page(index);
  }

  std::optional<Raster> scanImage(int index) override {
    if (index < 0 || index >= pageCount()) return std::nullopt;
    if (!survey) survey = popplerPictures(path);
    return survey->scan(index);
  }

  std::optional<Raster> draw(int index, int width, int height) override {
    auto p = page(index);
    if (!p || width < 1 || height < 1) return std::nullopt;
    const poppler::rectf box = p->page_rect(poppler::media_box);
    if (!(box.width() > 0) || !(box.height() > 0)) return std::nullopt;
    const double xres = width * 72.0 / box.width();
    const double yres = height * 72.0 / box.height();
    const bool turned = turnedQuarter(*p);
    const int w = turned ? height : width;
    const int h = turned ? width : height;

    poppler::page_renderer renderer;
    renderer.set_render_hints(poppler::page_renderer::antialiasing |
                              poppler::page_renderer::text_antialiasing);
    // Grey is what the recogniser reads, and a third of the memory of colour.
    renderer.set_image_format(poppler::image::format_gray8);
    // An exact slice, so that rounding inside the renderer cannot add a row or a column.
    const poppler::image img = turned ? renderer.render_page(p.get(), yres, xres, 0, 0, w, h)
                                      : renderer.render_page(p.get(), xres, yres, 0, 0, w, h);
    if (!img.is_valid() || img.format() != poppler::image::format_gray8 || img.width() != w ||
        img.height() != h)
      return std::nullopt;

    Raster out;
    out.width = w;
    out.height = h;
    out.channels = 1;
    out.pixelsPerInch = xres;
    out.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    const int stride = img.bytes_per_row();
    for (int y = 0; y < h; ++y)
      std::memcpy(out.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w),
                  img.const_data() + static_cast<std::ptrdiff_t>(y) * stride,
                  static_cast<std::size_t>(w));
    return out;
  }

  std::unique_ptr<poppler::document> doc;
  std::string path;
  // Opened at the first question about a page's images; it needs doc to stay open.
  std::unique_ptr<PdfPictures> survey;
};

struct PopplerPdf final : Pdf {
  std::unique_ptr<PdfDocument> open(const std::string& path) override {
    poppler::set_debug_error_function(quiet, nullptr);
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(path));
    if (!doc) return nullptr;
    return std::make_unique<PopplerDocument>(std::move(doc), path);
  }
};

} // namespace

std::unique_ptr<Pdf> popplerPdf() {
  return std::make_unique<PopplerPdf>();
}

} // namespace plenk
