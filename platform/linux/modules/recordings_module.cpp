// The FFmpeg recording service as a module that plenk-media opens at first use.
#include "platform/linux/media.hpp"
#include "platform/linux/on_demand.hpp"

#include <string_view>

static_assert(std::string_view(plenk::RECORDINGS_ENTRY) == "plenkMakeRecordings");

extern "C" [[gnu::visibility("default")]] plenk::Recordings* plenkMakeRecordings() {
  return plenk::linuxRecordings().release();
}
