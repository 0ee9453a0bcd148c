// plenk-media's heavy services, taken from the service module the first time one is used.
#pragma once

#include "platform/images.hpp"
#include "platform/media.hpp"
#include "platform/pdf.hpp"
#include "platform/recognition.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace plenk {

struct LoadedServices {
  std::unique_ptr<Pdf> pdf;
  std::unique_ptr<Recogniser> recogniser;
  std::unique_ptr<Images> images;
  std::unique_ptr<Recordings> recordings;
};

// Stand-ins that open the module at `modulePath` on the first call of any of them (once for all;
// it stays loaded for the life of the process) and make each real service at its own first call.
// A module that cannot be loaded makes that call throw std::runtime_error: the installation is
// broken, which no answer about the file in hand would describe.
LoadedServices servicesOnFirstUse(std::string modulePath);

// SERVICE_MODULE_FILE in the folder of `executable` (symbolic links followed); empty when the
// executable's path cannot be read.
std::string serviceModuleBeside(std::string_view executable = "/proc/self/exe");

} // namespace plenk
