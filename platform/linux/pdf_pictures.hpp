// The images drawn on a page, found by poppler's own interpreter without decoding any of them.
#pragma once

#include "platform/pdf.hpp"

#include <memory>
#include <optional>
#include <string>

namespace plenk {

// Poppler's core view of a document, opened beside poppler-cpp's own, which hides it.
struct PdfPictures {
  virtual ~PdfPictures() = default;
  // Nothing when the page does not exist or its content cannot be read.
  virtual std::optional<PagePictures> page(int index) = 0;
  // See PdfDocument::scanImage.
  virtual std::optional<Raster> scan(int index) = 0;
};

// Needs a poppler-cpp document of the same file to be open (it sets poppler up).
std::unique_ptr<PdfPictures> popplerPictures(const std::string& path);

} // namespace plenk
