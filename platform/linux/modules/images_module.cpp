// The libvips picture service as a module that plenk-media opens at first use.
#include "platform/linux/images.hpp"
#include "platform/linux/on_demand.hpp"

#include <string_view>

static_assert(std::string_view(plenk::IMAGES_ENTRY) == "plenkMakeImages");

extern "C" [[gnu::visibility("default")]] plenk::Images* plenkMakeImages() {
  return plenk::linuxImages().release();
}
