// Any bytes as a recording through frames, on the smallest budget: two frames, 240 pixels.
#include "fuzz/media_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plenk::fuzz::fileFuzz().run("frames", data, size,
                              {"--count", "2", "--max-edge", "240", "--max-bytes", "50000"});
  return 0;
}
