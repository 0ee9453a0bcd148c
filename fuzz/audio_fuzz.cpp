// Any bytes as a recording through audio, at most one second exported.
#include "fuzz/media_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plenk::fuzz::fileFuzz().run("audio", data, size, {"--max-seconds", "1"});
  return 0;
}
