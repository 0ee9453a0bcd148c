// Any bytes as a PDF: inspect, then pdftext with the smallest character limit.
#include "fuzz/media_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& fuzz = plenk::fuzz::fileFuzz();
  fuzz.run("inspect", data, size);
  fuzz.run("pdftext", data, size, {"--max-chars", "1000"});
  return 0;
}
