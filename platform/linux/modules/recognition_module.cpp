// The tesseract recogniser as a module that plenk-media opens at first use.
#include "platform/linux/on_demand.hpp"

#include <string_view>

static_assert(std::string_view(plenk::RECOGNITION_ENTRY) == "plenkMakeRecogniser");
#include "platform/linux/recognition.hpp"

extern "C" [[gnu::visibility("default")]] plenk::Recogniser* plenkMakeRecogniser() {
  return plenk::tesseractRecogniser().release();
}
