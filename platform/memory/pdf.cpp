#include "platform/memory/pdf.hpp"

#include "platform/text.hpp"

#include <cmath>

namespace plenk {
namespace {

struct MemoryDocument final : PdfDocument {
  MemoryDocument(MemoryPdf& o, const MemoryPdfFile& f) : owner(o), file(f) {}

  bool locked() override { return file.locked; }
  int pageCount() override { return file.locked ? 0 : static_cast<int>(file.pages.size()); }

  const MemoryPage* page(int index) {
    if (index < 0 || index >= pageCount()) return nullptr;
    const MemoryPage& p = file.pages[static_cast<std::size_t>(index)];
    return p.box ? &p : nullptr;
  }

  std::string text(std::size_t enough) override {
    std::string all;
    std::size_t counted = 0;
    for (int i = 0; i < pageCount() && counted <= enough; ++i) {
      const MemoryPage* p = page(i);
      if (!p || p->text.empty()) continue;
      if (!all.empty()) all += '\n';
      all += p->text;
      counted += text::graphemeCount(p->text);
    }
    return all;
  }

  std::optional<PageSize> mediaBox(int index) override {
    const MemoryPage* p = page(index);
    if (!p) return std::nullopt;
    return p->box;
  }

  std::optional<PagePictures> pictures(int index) override {
    const MemoryPage* p = page(index);
    if (!p) return std::nullopt;
    return p->pictures;
  }

  std::optional<Raster> scanImage(int index) override {
    const MemoryPage* p = page(index);
    if (!p || !p->scanAlone || !(p->pictures.scanPixelsPerPoint > 0)) return std::nullopt;
    return white(static_cast<int>(std::lround(p->box->width * p->pictures.scanPixelsPerPoint)),
                 static_cast<int>(std::lround(p->box->height * p->pictures.scanPixelsPerPoint)),
                 p->pictures.scanPixelsPerPoint * 72.0);
  }

  static Raster white(int width, int height, double ppi) {
    Raster r;
    r.width = width;
    r.height = height;
    r.channels = 1;
    r.pixelsPerInch = ppi;
    r.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 255);
    return r;
  }

  std::optional<Raster> draw(int index, int width, int height) override {
    owner.drawings.push_back({index, width, height});
    const MemoryPage* p = page(index);
    if (!p || p->drawFails || width < 1 || height < 1) return std::nullopt;
    return white(width, height, width * 72.0 / p->box->width);
  }

  MemoryPdf& owner;
  MemoryPdfFile file;
};

} // namespace

std::unique_ptr<PdfDocument> MemoryPdf::open(const std::string& path) {
  auto it = files.find(path);
  if (it == files.end()) return nullptr;
  return std::make_unique<MemoryDocument>(*this, it->second);
}

} // namespace plenk
