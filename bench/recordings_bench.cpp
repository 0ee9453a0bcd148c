// frames and audio as the host runs them, against the ffmpeg command-line tool doing the same job
// on the same machine in the same run. Each figure is the wall time of whole processes; the
// counters give their CPU time and the peak resident memory of the largest one.
//
// Jobs: four frames at the midpoints of a 60-second 1080p H.264 recording, exact moments, fitted
// into 1920, JPEG; the first 900 s of a 45-minute recording to AAC in M4A (from AAC, where we copy
// the packets, and from MP3, where both encode). Frames of a 4K recording give the memory figure.
// The recordings are made once by ffmpeg into the build folder (several minutes the first time).
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Measured {
  int status = -1;
  double cpuSeconds = 0;
  double maxRssMb = 0;
};

// Runs argv[0] with its output thrown away and measures it alone (wait4, not all children).
Measured run(std::vector<std::string> args) {
  std::vector<char*> argv;
  std::vector<std::string> copy = args;
  for (auto& a : copy)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  Measured m;
  if (spawned != 0) return m;
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) < 0) return m;
  m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  m.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.maxRssMb = usage.ru_maxrss / 1024.0;
  return m;
}

std::string data(const std::string& name) {
  return (fs::path(PLENK_BIN_DIR) / "bench-data" / name).string();
}

bool ffmpeg(const std::string& args) {
  return std::system(("ffmpeg -nostdin -v error -y " + args).c_str()) == 0;
}

// The recordings, made once and kept in the build folder.
bool ensureRecordings() {
  static const bool ready = [] {
    fs::create_directories(fs::path(PLENK_BIN_DIR) / "bench-data");
    auto make = [](const std::string& name, const std::string& args) {
      if (fs::exists(data(name))) return true;
      std::string partial = data("partial-" + name);
      bool ok = ffmpeg(args + " " + partial);
      if (ok) fs::rename(partial, data(name));
      return ok;
    };
    const std::string speech = "-f lavfi -i \"sine=frequency=220:sample_rate=44100:duration=2700,"
                               "volume=0.3\" -ac 2 ";
    return make("hd60.mp4", "-f lavfi -i testsrc2=size=1920x1080:rate=30:duration=60 -f lavfi "
                            "-i sine=duration=60 -c:v libx264 -preset veryfast -pix_fmt yuv420p "
                            "-c:a aac -shortest") &&
           make("uhd10.mp4", "-f lavfi -i testsrc2=size=3840x2160:rate=30:duration=10 -c:v "
                             "libx264 -preset veryfast -pix_fmt yuv420p") &&
           make("talk45.m4a", speech + "-c:a aac -aac_coder fast -b:a 96k") &&
           make("talk45.mp3", speech + "-c:a libmp3lame -b:a 96k");
  }();
  return ready;
}

// A fresh, empty output folder for each run.
struct OutDir {
  OutDir() {
    std::string pattern = (fs::temp_directory_path() / "plenk-bench.XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~OutDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
  fs::path path;
};

using Job = std::vector<std::string> (*)(const OutDir&);

void measure(benchmark::State& state, Job job) {
  if (!ensureRecordings()) {
    state.SkipWithError("ffmpeg could not make the recordings");
    return;
  }
  double cpu = 0, rss = 0;
  std::optional<OutDir> out;
  for (auto _ : state) {
    state.PauseTiming();
    out.reset(); // the previous run's files go outside the timing
    out.emplace();
    std::vector<std::string> args = job(*out);
    state.ResumeTiming();
    Measured m = run(args);
    if (m.status != 0) state.SkipWithError(("exit status " + std::to_string(m.status)).c_str());
    cpu += m.cpuSeconds;
    rss = std::max(rss, m.maxRssMb);
  }
  state.counters["cpuSeconds"] = cpu / static_cast<double>(state.iterations());
  state.counters["peakMB"] = rss;
}

std::string plenk() {
  return (fs::path(PLENK_BIN_DIR) / "plenk-media").string();
}

// Four midpoints of 60 s: 7.5, 22.5, 37.5 and 52.5 s.
std::vector<std::string> framesPlenkArgs(const OutDir& out) {
  return {plenk(),           "frames",  "--in", data("hd60.mp4"), "--out",
          out.path.string(), "--count", "4",    "--max-edge",     "1920"};
}
// One ffmpeg process, one input per moment: input seeking is exact (decodes forward from the
// key frame before the moment), the scale filter fits 1920, -q:v 3 is a JPEG of similar size.
std::vector<std::string> framesFfmpegArgs(const OutDir& out) {
  std::vector<std::string> args{"ffmpeg", "-nostdin", "-v", "error", "-y"};
  const char* moments[] = {"7.5", "22.5", "37.5", "52.5"};
  for (const char* t : moments)
    args.insert(args.end(), {"-ss", t, "-i", data("hd60.mp4")});
  for (int i = 0; i < 4; ++i)
    args.insert(args.end(), {"-map", std::to_string(i) + ":v", "-frames:v", "1", "-vf",
                             "scale=1920:1920:force_original_aspect_ratio=decrease", "-q:v", "3",
                             out / ("f" + std::to_string(i) + ".jpg")});
  return args;
}
std::vector<std::string> frames4kPlenkArgs(const OutDir& out) {
  return {plenk(),           "frames",  "--in", data("uhd10.mp4"), "--out",
          out.path.string(), "--count", "8",    "--max-edge",      "4096"};
}
std::vector<std::string> frames4kFfmpegArgs(const OutDir& out) {
  return {"ffmpeg", "-nostdin",        "-v",        "error", "-y",   "-ss", "5.625",
          "-i",     data("uhd10.mp4"), "-frames:v", "1",     "-q:v", "3",   out / "f.jpg"};
}

std::vector<std::string> audioPlenkArgs(const OutDir& out) {
  return {plenk(), "audio", "--in", data("talk45.m4a"), "--out", out.path.string()};
}
std::vector<std::string> audioFfmpegEncodeArgs(const OutDir& out) {
  return {"ffmpeg",           "-nostdin", "-v",  "error", "-y",   "-i",
          data("talk45.m4a"), "-t",       "900", "-vn",   "-c:a", "aac",
          out / "audio.m4a"};
}
std::vector<std::string> audioFfmpegCopyArgs(const OutDir& out) {
  return {"ffmpeg",           "-nostdin", "-v",  "error", "-y",   "-i",
          data("talk45.m4a"), "-t",       "900", "-vn",   "-c:a", "copy",
          out / "audio.m4a"};
}
std::vector<std::string> audioMp3PlenkArgs(const OutDir& out) {
  return {plenk(), "audio", "--in", data("talk45.mp3"), "--out", out.path.string()};
}
std::vector<std::string> audioMp3FfmpegArgs(const OutDir& out) {
  return {"ffmpeg",           "-nostdin", "-v",  "error", "-y",   "-i",
          data("talk45.mp3"), "-t",       "900", "-vn",   "-c:a", "aac",
          out / "audio.m4a"};
}
std::vector<std::string> audioMp3FfmpegFastArgs(const OutDir& out) {
  return {"ffmpeg", "-nostdin", "-v",   "error", "-y",         "-i",   data("talk45.mp3"), "-t",
          "900",    "-vn",      "-c:a", "aac",   "-aac_coder", "fast", out / "audio.m4a"};
}

void framesPlenk(benchmark::State& s) {
  measure(s, framesPlenkArgs);
}
void framesFfmpeg(benchmark::State& s) {
  measure(s, framesFfmpegArgs);
}
void frames4kPlenk(benchmark::State& s) {
  measure(s, frames4kPlenkArgs);
}
void frames4kFfmpeg(benchmark::State& s) {
  measure(s, frames4kFfmpegArgs);
}
void audioAacPlenk(benchmark::State& s) {
  measure(s, audioPlenkArgs);
}
void audioAacFfmpegReencode(benchmark::State& s) {
  measure(s, audioFfmpegEncodeArgs);
}
void audioAacFfmpegCopy(benchmark::State& s) {
  measure(s, audioFfmpegCopyArgs);
}
void audioMp3Plenk(benchmark::State& s) {
  measure(s, audioMp3PlenkArgs);
}
void audioMp3FfmpegReencode(benchmark::State& s) {
  measure(s, audioMp3FfmpegArgs);
}
void audioMp3FfmpegFastCoder(benchmark::State& s) {
  measure(s, audioMp3FfmpegFastArgs);
}

#define RECORDING_BENCH(name, reps)                                                                \
  BENCHMARK(name)                                                                                  \
      ->Unit(benchmark::kSecond)                                                                   \
      ->UseRealTime()                                                                              \
      ->Iterations(1)                                                                              \
      ->Repetitions(reps)                                                                          \
      ->ReportAggregatesOnly(true)

RECORDING_BENCH(framesPlenk, 5);
RECORDING_BENCH(framesFfmpeg, 5);
RECORDING_BENCH(frames4kPlenk, 2);
RECORDING_BENCH(frames4kFfmpeg, 2);
RECORDING_BENCH(audioAacPlenk, 5);
RECORDING_BENCH(audioAacFfmpegReencode, 2);
RECORDING_BENCH(audioAacFfmpegCopy, 5);
RECORDING_BENCH(audioMp3Plenk, 2);
RECORDING_BENCH(audioMp3FfmpegReencode, 2);
RECORDING_BENCH(audioMp3FfmpegFastCoder, 2);

} // namespace

BENCHMARK_MAIN();
