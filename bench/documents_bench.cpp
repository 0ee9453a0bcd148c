// pdftext and ocr of plenk-media against the Debian tools that do the same job, in the same run
// on the same documents: pdftotext for the text layer; pdftoppm at the scan's resolution and the
// tesseract command for recognition (bench/ocr-accuracy scores the words of both). Each
// comparison runs both sides in every iteration and reports the ratios ours / peer
// ("ratio_wall", "ratio_cpu": below 1 means faster than the peer), each side's wall
// and CPU seconds (child user + system time, which the other builds on the machine disturb less
// than wall time) and peak resident memory.
#include "platform/linux/pdf.hpp"
#include "platform/linux/recognition.hpp"
#include "tests/support/documents.hpp"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using plenk::testing::TempDir;

const std::string PLENK_MEDIA = std::string(PLENK_BIN_DIR) + "/plenk-media";

// One or more whole processes: wall and CPU seconds added up, peak memory the largest.
struct Outcome {
  bool ok = true;
  double seconds = 0;
  double cpuSeconds = 0;
  double peakMB = 0;

  Outcome& operator+=(const Outcome& o) {
    ok = ok && o.ok;
    seconds += o.seconds;
    cpuSeconds += o.cpuSeconds;
    peakMB = std::max(peakMB, o.peakMB);
    return *this;
  }
};

// The documents, each made at its first use in a run.
struct Documents {
  static std::vector<plenk::testing::TextPage> prose(int pages) {
    std::vector<plenk::testing::TextPage> out;
    for (int p = 1; p <= pages; ++p)
      out.push_back({.lines = plenk::testing::proseLines(p, 40)});
    return out;
  }
  const std::string& textPdf(int pages) {
    std::optional<std::string>& made = pages == 100 ? text100 : pages == 50 ? text50 : text10;
    if (!made) {
      made = dir / ("text" + std::to_string(pages) + ".pdf");
      plenk::testing::writeFile(*made, plenk::testing::textPdf(prose(pages)));
    }
    return *made;
  }
  // Pages drawn at 200 dpi and put back into a PDF without a text layer.
  const std::string& scan(int pages) {
    std::optional<std::string>& made = pages == 50 ? scan50 : scan10;
    if (!made) {
      made = dir / ("scan" + std::to_string(pages) + ".pdf");
      plenk::testing::scanOf(textPdf(pages), *made, 200);
    }
    return *made;
  }
  // A manual of 3,720 pages: Debian's valgrind manual (397 pages) nine times, then the nettle
  // manual and the libtasn1 one, put together by qpdf; 3,700 prose pages where they are not
  // installed.
  const std::string& longManual() {
    if (!manual) {
      manual = dir / "manual.pdf";
      const std::string doc = "/usr/share/doc/";
      std::string pages;
      for (int i = 0; i < 9; ++i)
        pages += " " + dir / "valgrind.pdf";
      const std::string qpdf = "zcat " + doc + "valgrind/valgrind_manual.pdf.gz > " +
                               dir / "valgrind.pdf" + " && zcat " + doc +
                               "nettle-dev/nettle.pdf.gz > " + dir / "nettle.pdf" +
                               " && qpdf --empty --pages" + pages + " " + dir / "nettle.pdf " +
                               doc + "libtasn1-doc/libtasn1.pdf -- " + *manual + " 2>/dev/null";
      if (std::system(qpdf.c_str()) != 0)
        plenk::testing::writeFile(*manual, plenk::testing::textPdf(prose(3700)));
    }
    return *manual;
  }
  std::string fresh() {
    const std::string d = dir / ("out" + std::to_string(++outs));
    std::filesystem::create_directory(d);
    return d;
  }
  TempDir dir;
  std::optional<std::string> text10, text50, text100, scan10, scan50, manual;
  int outs = 0;
};

Documents& docs() {
  static Documents d;
  return d;
}

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Runs a program to its end with the environment of this process, OMP_THREAD_LIMIT set to
// `ompLimit` (or removed when empty), standard output and error thrown away. It runs under
// /usr/bin/time, which reports the program's own figures: the peak memory that wait4 gives for a
// child spawned straight from here would include this process's own, which the child shares
// until it starts its program.
Outcome spawn(const std::vector<std::string>& command, const std::string& ompLimit = "") {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "OMP_THREAD_LIMIT=", 17) != 0) env.emplace_back(*e);
  if (!ompLimit.empty()) env.push_back("OMP_THREAD_LIMIT=" + ompLimit);
  const std::string figures = docs().dir / "figures";
  std::vector<std::string> args = {"/usr/bin/time", "-f", "%x %M", "-o", figures};
  args.insert(args.end(), command.begin(), command.end());
  std::vector<char*> argv, envp;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env)
    envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  Outcome out;
  out.ok = false;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int status = 0;
  rusage usage{};
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0 &&
      wait4(pid, &status, 0, &usage) == pid) {
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The program's CPU time counts in its parent's, time's own being a millisecond or so.
    out.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    int exit = -1;
    double peakKB = 0;
    std::istringstream line(plenk::testing::readFile(figures));
    if (line >> exit >> peakKB) {
      out.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && exit == 0;
      out.peakMB = peakKB / 1024.0;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  return out;
}

// Reports ours against the peer, summed over the iterations; the benchmark's own time is ours.
struct Comparison {
  Outcome ours, peer;
  int runs = 0;

  void add(benchmark::State& state, const Outcome& o, const Outcome& p) {
    if (!o.ok || !p.ok) state.SkipWithError("a command failed");
    ours += o;
    peer += p;
    ++runs;
    state.SetIterationTime(o.seconds);
  }
  void report(benchmark::State& state) const {
    if (runs == 0) return;
    auto& c = state.counters;
    c["ours_s"] = ours.seconds / runs;
    c["peer_s"] = peer.seconds / runs;
    c["ours_cpu_s"] = ours.cpuSeconds / runs;
    c["peer_cpu_s"] = peer.cpuSeconds / runs;
    c["ratio_wall"] = ours.seconds / peer.seconds;
    c["ratio_cpu"] = ours.cpuSeconds / peer.cpuSeconds;
    c["ours_peak_MB"] = ours.peakMB;
    c["peer_peak_MB"] = peer.peakMB;
  }
};

// The text layer of 100 pages (235,000 characters), all of it kept.
void BM_pdftext_100_pages_vs_pdftotext(benchmark::State& state) {
  const std::string pdf = docs().textPdf(100);
  Comparison cmp;
  for (auto _ : state) {
    const Outcome o = spawn(
        {PLENK_MEDIA, "pdftext", "--in", pdf, "--out", docs().fresh(), "--max-chars", "5000000"});
    const Outcome p = spawn({"pdftotext", pdf, docs().fresh() + "/text.txt"});
    cmp.add(state, o, p);
  }
  cmp.report(state);
}

// A long manual cut at the default 200,000 characters: the pages past the cut are not read,
// while pdftotext reads them all.
void BM_pdftext_3700_pages_cut_vs_pdftotext(benchmark::State& state) {
  const std::string pdf = docs().longManual();
  Comparison cmp;
  for (auto _ : state) {
    const Outcome o = spawn({PLENK_MEDIA, "pdftext", "--in", pdf, "--out", docs().fresh()});
    const Outcome p = spawn({"pdftotext", "-q", pdf, docs().fresh() + "/text.txt"});
    cmp.add(state, o, p);
  }
  cmp.report(state);
}

// The pair of commands: every page drawn to a grey PGM (the cheapest picture to write) at the
// scan's own resolution, the size of its own raster, then the tesseract command on each page
// with one OpenMP thread, its fastest setting on two cores.
Outcome pdftoppmAndTesseract(const std::string& pdf, int dpi) {
  const std::string out = docs().fresh();
  Outcome total = spawn({"pdftoppm", "-r", std::to_string(dpi), "-gray", pdf, out + "/page"});
  std::vector<std::string> pages;
  for (const auto& e : std::filesystem::directory_iterator(out))
    pages.push_back(e.path().string());
  std::sort(pages.begin(), pages.end());
  for (const auto& page : pages)
    total += spawn({"tesseract", page, page + ".txt"}, "1");
  return total;
}

void BM_ocr_10_pages_vs_pdftoppm_tesseract(benchmark::State& state) {
  const std::string pdf = docs().scan(10);
  Comparison cmp;
  for (auto _ : state) {
    const Outcome o =
        spawn({PLENK_MEDIA, "ocr", "--in", pdf, "--out", docs().fresh(), "--deadline", "600000"});
    cmp.add(state, o, pdftoppmAndTesseract(pdf, 200));
  }
  cmp.report(state);
}

// Peak memory of the longest run ocr allows: 50 pages, one page's picture at a time. Started
// as the host starts it (no OMP_THREAD_LIMIT), so the restart is part of the figure.
void BM_ocr_50_pages_memory(benchmark::State& state) {
  const std::string pdf = docs().scan(50);
  double peakMB = 0, cpu = 0;
  for (auto _ : state) {
    const Outcome o = spawn({PLENK_MEDIA, "ocr", "--in", pdf, "--out", docs().fresh(), "--pages",
                             "50", "--deadline", "1800000"});
    if (!o.ok) state.SkipWithError("ocr failed");
    state.SetIterationTime(o.seconds);
    peakMB = std::max(peakMB, o.peakMB);
    cpu += o.cpuSeconds;
  }
  state.counters["peak_MB"] = peakMB;
  state.counters["cpu_s"] = cpu / static_cast<double>(state.iterations());
}

// The recogniser inside this process, over the first three pages drawn at 2 pixels a point:
// run the benchmark with and without OMP_THREAD_LIMIT=1 to see what its thread pool costs.
void BM_recogniser_in_process_3_pages(benchmark::State& state) {
  auto doc = plenk::popplerPdf()->open(docs().scan(10));
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

BENCHMARK(BM_pdftext_100_pages_vs_pdftotext)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_pdftext_3700_pages_cut_vs_pdftotext)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_ocr_10_pages_vs_pdftoppm_tesseract)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(BM_ocr_50_pages_memory)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_recogniser_in_process_3_pages)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
