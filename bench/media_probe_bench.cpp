// plenk-media probe as the host runs it: spawn, one line back, exit. Target: median under 10 ms.
#include "tests/run_program.hpp"

#include <benchmark/benchmark.h>

namespace {

void mediaProbeProcess(benchmark::State& state) {
  for (auto _ : state) {
    auto done = plenk::testing::runProgram("plenk-media", {"probe", "--nonce", "b"});
    if (done.status != 0 || done.out.empty()) state.SkipWithError("probe failed");
    benchmark::DoNotOptimize(done.out);
  }
}
BENCHMARK(mediaProbeProcess)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
