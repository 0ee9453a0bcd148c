// The poppler PDF service as a module that plenk-media opens at first use.
#include "platform/linux/on_demand.hpp"
#include "platform/linux/pdf.hpp"

#include <string_view>

static_assert(std::string_view(plenk::PDF_ENTRY) == "plenkMakePdf");

extern "C" [[gnu::visibility("default")]] plenk::Pdf* plenkMakePdf() {
  return plenk::popplerPdf().release();
}
