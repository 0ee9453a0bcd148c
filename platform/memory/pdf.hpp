// In-memory PDFs with scripted faults, for the logic's tests.
#pragma once

#include "platform/pdf.hpp"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plenk {

struct MemoryPage {
  // Nothing: the page cannot be fetched.
  std::optional<PageSize> box = PageSize{612, 792};
  std::string text = {};
  bool drawFails = false;
  PagePictures pictures = {};
  // A scan and nothing else: its image is given at box × pictures.scanPixelsPerPoint.
  bool scanAlone = false;
};

struct MemoryPdfFile {
  bool locked = false;
  std::vector<MemoryPage> pages = {};
};

struct MemoryPdf final : Pdf {
  std::unique_ptr<PdfDocument> open(const std::string& path) override;

  // Paths that open as documents; any other path is not a PDF.
  std::map<std::string, MemoryPdfFile> files;
  // Every drawing asked for: page index, width, height.
  struct Drawing {
    int index;
    int width;
    int height;
  };
  std::vector<Drawing> drawings;
};

} // namespace plenk
