// Text recognition on tesseract with Debian's English data.
#pragma once

#include "platform/recognition.hpp"

#include <memory>
#include <string>

namespace plenk {

// Where Debian's tesseract-ocr-eng puts its data.
inline constexpr const char* TESSDATA_DIR = "/usr/share/tesseract-ocr/5/tessdata";

// The engine is loaded at the first picture and kept for the rest of the run.
std::unique_ptr<Recogniser> tesseractRecogniser(std::string dataDir = TESSDATA_DIR,
                                                std::string language = "eng");

} // namespace plenk
