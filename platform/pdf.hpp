// PDF documents: open, lock state, pages, text layer, media box, a page drawn in memory.
#pragma once

#include "platform/raster.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace plenk {

// A page box in points.
struct PageSize {
  double width = 0;
  double height = 0;
};

// What the images drawn on a page tell, found without decoding them.
struct PagePictures {
  // Pixels of the largest image as stored (width × height); 0 without images.
  double largestPixels = 0;
  // A scan's own resolution: pixels per point of the image that covers the most of the page,
  // where one covers at least half of it; 0 on a page that is drawn.
  double scanPixelsPerPoint = 0;
};

// One open document. On a locked document every reader answers as for an empty one, so that
// nothing ever reaches the pages of a document that could not be decrypted.
struct PdfDocument {
  virtual ~PdfDocument() = default;
  // Encrypted and not unlocked. No password is ever tried.
  virtual bool locked() = 0;
  virtual int pageCount() = 0;
  // The text layer of the pages in page order, pages separated by a line break; empty when the
  // document has no text. Pages are read only until the text holds more than `enough`
  // characters (grapheme clusters): what it gives is then a start of the whole text, longer than
  // `enough`, that ends where a page ends.
  virtual std::string text(std::size_t enough) = 0;
  std::string text() { return text(SIZE_MAX); }
  // The media box of a page counted from 0; nothing when there is no such page.
  virtual std::optional<PageSize> mediaBox(int index) = 0;
  // The images of a page counted from 0; nothing when there is no such page or its content
  // cannot be read.
  virtual std::optional<PagePictures> pictures(int index) = 0;
  // A page that is a scan and nothing else (one image, upright, over the whole page): that image
  // in grey at its own pixels, which drawing would resample. Nothing for any other page.
  virtual std::optional<Raster> scanImage(int index) = 0;
  // The whole page drawn upright into width by height pixels (swapped for a page that is
  // turned a quarter), or nothing when it cannot be drawn.
  virtual std::optional<Raster> draw(int index, int width, int height) = 0;
};

struct Pdf {
  virtual ~Pdf() = default;
  // Nothing when the file cannot be read as a PDF.
  virtual std::unique_ptr<PdfDocument> open(const std::string& path) = 0;
};

} // namespace plenk
