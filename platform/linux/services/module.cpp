// The entry of plenk-media's service module: the real services of this platform.
#include "platform/linux/images.hpp"
#include "platform/linux/media.hpp"
#include "platform/linux/pdf.hpp"
#include "platform/linux/recognition.hpp"
#include "platform/linux/service_module.hpp"

extern "C" __attribute__((visibility("default"))) const plenk::ServiceMakers*
plenk_media_services() {
  static const plenk::ServiceMakers makers{
      .pdf = [] { return plenk::popplerPdf(); },
      .recogniser = [] { return plenk::tesseractRecogniser(); },
      .images = [] { return plenk::linuxImages(); },
      .recordings = [] { return plenk::linuxRecordings(); },
  };
  return &makers;
}
