// pdftext and ocr of plenk-media against the Debian tools that do the same job, in the same run
// on the same documents: pdftotext for the text layer; pdftoppm -r 144 and the tesseract command
// for recognition. Each case reports wall time; the process cases also peak memory (maxrss).
#include "platform/linux/pdf.hpp"
#include "platform/linux/recognition.hpp"
#include "tests/support/documents.hpp"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using plenk::testing::TempDir;

const std::string PLENK_MEDIA = std::string(PLENK_BIN_DIR) + "/plenk-media";

struct Outcome {
  int status = -1;
  double seconds = 0;
  double peakMB = 0;
};

// Runs a program to its end with the environment of this process, OMP_THREAD_LIMIT set to
// `ompLimit` (or removed when empty), standard output and error thrown away.
Outcome spawn(const std::vector<std::string>& args, const std::string& ompLimit = "") {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "OMP_THREAD_LIMIT=", 17) != 0) env.emplace_back(*e);
  if (!ompLimit.empty()) env.push_back("OMP_THREAD_LIMIT=" + ompLimit);
  std::vector<char*> argv, envp;
  for (const auto& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (auto& e : env)
    envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  Outcome out;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    out.peakMB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  }
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return out;
}

void mustSucceed(benchmark::State& state, const Outcome& o) {
  if (o.status != 0) state.SkipWithError("the command failed");
}

// The documents, made once per run.
struct Documents {
  Documents() {
    std::vector<plenk::testing::TextPage> hundred, scanned;
    for (int p = 1; p <= 100; ++p)
      hundred.push_back({.lines = plenk::testing::proseLines(p, 40)});
    for (int p = 1; p <= 50; ++p)
      scanned.push_back({.lines = plenk::testing::proseLines(p, 40)});
    plenk::testing::writeFile(text100, plenk::testing::textPdf(hundred));
    plenk::testing::writeFile(dir / "text50.pdf", plenk::testing::textPdf(scanned));
    plenk::testing::scanOf(dir / "text50.pdf", scan50, 200);
    std::vector<plenk::testing::TextPage> ten(scanned.begin(), scanned.begin() + 10);
    plenk::testing::writeFile(dir / "text10.pdf", plenk::testing::textPdf(ten));
    plenk::testing::scanOf(dir / "text10.pdf", scan10, 200);
  }
  std::string fresh() {
    const std::string d = dir / ("out" + std::to_string(++outs));
    std::filesystem::create_directory(d);
    return d;
  }
  TempDir dir;
  std::string text100 = dir / "text100.pdf";
  std::string scan10 = dir / "scan10.pdf";
  std::string scan50 = dir / "scan50.pdf";
  int outs = 0;
};

Documents& docs() {
  static Documents d;
  return d;
}

void report(benchmark::State& state, double seconds, double peakMB) {
  state.SetIterationTime(seconds);
  state.counters["peak_MB"] = benchmark::Counter(peakMB, benchmark::Counter::kAvgIterations);
}

void BM_pdftext_plenk_100_pages(benchmark::State& state) {
  for (auto _ : state) {
    const Outcome o = spawn({PLENK_MEDIA, "pdftext", "--in", docs().text100, "--out",
                             docs().fresh(), "--max-chars", "5000000"});
    mustSucceed(state, o);
    report(state, o.seconds, o.peakMB);
  }
}

void BM_pdftext_peer_pdftotext_100_pages(benchmark::State& state) {
  for (auto _ : state) {
    const Outcome o = spawn({"pdftotext", docs().text100, docs().fresh() + "/text.txt"});
    mustSucceed(state, o);
    report(state, o.seconds, o.peakMB);
  }
}

void BM_ocr_plenk_10_pages(benchmark::State& state) {
  for (auto _ : state) {
    const Outcome o = spawn({PLENK_MEDIA, "ocr", "--in", docs().scan10, "--out", docs().fresh(),
                             "--deadline", "600000"});
    mustSucceed(state, o);
    report(state, o.seconds, o.peakMB);
  }
}

// The pair of commands: every page drawn to a grey PGM (the cheapest picture to write), then
// the tesseract command on each page; OpenMP limited as arg 0 says (1, or 0 for its default).
void BM_ocr_peer_pdftoppm_tesseract_10_pages(benchmark::State& state) {
  const std::string limit = state.range(0) == 0 ? "" : std::to_string(state.range(0));
  for (auto _ : state) {
    const std::string out = docs().fresh();
    Outcome total = spawn({"pdftoppm", "-r", "144", "-gray", docs().scan10, out + "/page"});
    mustSucceed(state, total);
    std::vector<std::string> pages;
    for (const auto& e : std::filesystem::directory_iterator(out))
      pages.push_back(e.path().string());
    std::sort(pages.begin(), pages.end());
    for (const auto& page : pages) {
      const Outcome o = spawn({"tesseract", page, page + ".txt"}, limit);
      mustSucceed(state, o);
      total.seconds += o.seconds;
      total.peakMB = std::max(total.peakMB, o.peakMB);
    }
    report(state, total.seconds, total.peakMB);
  }
}

// Peak memory of the longest run ocr allows: 50 pages, one picture at a time.
void BM_ocr_plenk_50_pages_memory(benchmark::State& state) {
  for (auto _ : state) {
    const Outcome o = spawn({PLENK_MEDIA, "ocr", "--in", docs().scan50, "--out", docs().fresh(),
                             "--pages", "50", "--deadline", "600000"});
    mustSucceed(state, o);
    report(state, o.seconds, o.peakMB);
  }
}

// The recogniser inside this process, over the first three pages drawn at 2 pixels a point:
// run the benchmark with and without OMP_THREAD_LIMIT=1 to see what its thread pool costs.
void BM_recogniser_in_process_3_pages(benchmark::State& state) {
  auto doc = plenk::popplerPdf()->open(docs().scan10);
  auto recogniser = plenk::tesseractRecogniser();
  const char* limit = std::getenv("OMP_THREAD_LIMIT");
  state.SetLabel(std::string("OMP_THREAD_LIMIT=") + (limit ? limit : "(unset)"));
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) {
      auto picture = doc->draw(i, 1191, 1684);
      if (!picture || !recogniser->lines(*picture)) state.SkipWithError("recognition failed");
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

BENCHMARK(BM_pdftext_plenk_100_pages)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_pdftext_peer_pdftotext_100_pages)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_ocr_plenk_10_pages)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ocr_peer_pdftoppm_tesseract_10_pages)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(BM_ocr_plenk_50_pages_memory)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_recogniser_in_process_3_pages)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
