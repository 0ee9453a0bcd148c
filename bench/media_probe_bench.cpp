// plenk-media probe as the host runs it: spawn, one line back, exit. Target: median under 10 ms.
// The peer is the bare cost of spawning a process that does nothing (/bin/true), on the same
// machine at the same moment; "childCpuMs" is the CPU time of the child alone.
#include "tests/run_program.hpp"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

double childCpuMs() {
  rusage u{};
  ::getrusage(RUSAGE_CHILDREN, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

void spawnAndCheck(benchmark::State& state, const std::string& program,
                   const std::vector<std::string>& args) {
  double before = childCpuMs();
  for (auto _ : state) {
    auto done = plenk::testing::runProgram(program, args);
    if (done.status != 0) state.SkipWithError("the program failed");
    benchmark::DoNotOptimize(done.out);
  }
  state.counters["childCpuMs"] =
      benchmark::Counter((childCpuMs() - before) / static_cast<double>(state.iterations()));
}

void mediaProbeProcess(benchmark::State& state) {
  spawnAndCheck(state, "plenk-media", {"probe", "--nonce", "b"});
}
void peerEmptyProcess(benchmark::State& state) {
  spawnAndCheck(state, "/bin/true", {});
}

BENCHMARK(mediaProbeProcess)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(peerEmptyProcess)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
