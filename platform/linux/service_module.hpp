// What passes between plenk-media and the module that holds its heavy services (PDF, text
// recognition, pictures, recordings on poppler, tesseract, libvips and FFmpeg). Those libraries
// and the ~180 they pull in cost far more to load than a short job like probe takes in all, so
// they are loaded only when a verb first needs one of them.
#pragma once

#include "platform/images.hpp"
#include "platform/media.hpp"
#include "platform/pdf.hpp"
#include "platform/recognition.hpp"

#include <memory>

namespace plenk {

// The module's file name; it sits beside the executable.
inline constexpr const char* SERVICE_MODULE_FILE = "plenk-media-services.so";
// The one symbol the module exports: a function with no arguments answering ServiceMakers.
inline constexpr const char* SERVICE_MODULE_ENTRY = "plenk_media_services";

struct ServiceMakers {
  std::unique_ptr<Pdf> (*pdf)();
  std::unique_ptr<Recogniser> (*recogniser)();
  std::unique_ptr<Images> (*images)();
  std::unique_ptr<Recordings> (*recordings)();
};

using ServiceModuleEntry = const ServiceMakers* (*)();

} // namespace plenk
