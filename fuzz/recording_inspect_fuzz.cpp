// Any bytes as a recording through inspect (a file without the PDF marker is read as one).
#include "fuzz/media_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plenk::fuzz::fileFuzz().run("inspect", data, size);
  return 0;
}
