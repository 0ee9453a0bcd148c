// Copying one chosen photograph out: a 6000 by 4000 JPEG made into an upright JPEG within 1400
// pixels and 900000 bytes, as the pick verb's photograph handler does it (thumbnail decoded at
// the reduced size, then the budgeted encoding). The peer decodes the full picture first and
// then shrinks it, which is what "never decoded at full size" saves.
#include "media/frame/constants.hpp"
#include "media/frame/images.hpp"
#include "platform/linux/images.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace plenk;

const std::string& bigPhoto() {
  static const std::string path = [] {
    fs::path p = fs::temp_directory_path() / "plenk-bench-big-photo.jpg";
    if (!fs::exists(p))
      std::system(
          ("/usr/bin/convert -size 6000x4000 plasma:fractal -quality 90 " + p.string()).c_str());
    return p.string();
  }();
  return path;
}

void pickPhoto(benchmark::State& state) {
  auto images = linuxImages();
  for (auto _ : state) {
    auto picture = images->thumbnail(bigPhoto(), media::PICK_MAX_EDGE);
    if (!picture) state.SkipWithError("no thumbnail");
    auto encoded = media::encodeWithin(*images, *picture, false, media::DEFAULT_QUALITY,
                                       media::PICK_MAX_BYTES);
    if (!encoded) state.SkipWithError("no JPEG");
    benchmark::DoNotOptimize(encoded);
  }
}

void peerFullDecodeThenShrink(benchmark::State& state) {
  auto images = linuxImages();
  for (auto _ : state) {
    auto full = images->thumbnail(bigPhoto(), 6000);
    if (!full) state.SkipWithError("no picture");
    auto small = images->resize(*full, 1400, 933);
    if (!small) state.SkipWithError("no resize");
    auto encoded =
        media::encodeWithin(*images, *small, false, media::DEFAULT_QUALITY, media::PICK_MAX_BYTES);
    benchmark::DoNotOptimize(encoded);
  }
}

BENCHMARK(pickPhoto)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);
BENCHMARK(peerFullDecodeThenShrink)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

} // namespace

BENCHMARK_MAIN();
