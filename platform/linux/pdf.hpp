// PDF documents on poppler-cpp.
#pragma once

#include "platform/pdf.hpp"

#include <memory>

namespace plenk {

std::unique_ptr<Pdf> popplerPdf();

} // namespace plenk
