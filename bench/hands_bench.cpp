// plenk-hands through its pipes, as the host drives it: probe answers per second, and the time to
// answer one line of 1,000,000 bytes.
#include <benchmark/benchmark.h>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// plenk-hands on blocking pipes, started before timing begins.
struct Hands {
  pid_t pid = -1;
  int in = -1, out = -1;
  std::vector<char> buffer = std::vector<char>(1 << 20);
  std::size_t begin = 0, end = 0;

  Hands() {
    int i[2], o[2];
    if (pipe2(i, O_CLOEXEC) || pipe2(o, O_CLOEXEC)) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, i[0], 0);
    posix_spawn_file_actions_adddup2(&actions, o[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string path = std::string(PLENK_BIN_DIR) + "/plenk-hands";
    char* argv[] = {path.data(), nullptr};
    posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(i[0]);
    close(o[1]);
    in = i[1];
    out = o[0];
  }
  ~Hands() { finish(); }
  // What plenk-hands used in all, both threads: CPU seconds, and how often it was switched out
  // (each a wake-up or a preemption; costly on these virtual machines).
  struct Used {
    double cpuSeconds = 0;
    double switches = 0;
  };
  // Closes input, reads the rest, waits.
  Used finish() {
    if (pid < 0) return {};
    if (in >= 0) close(in);
    in = -1;
    std::string rest;
    while (readLine(rest)) {
    }
    close(out);
    rusage usage{};
    wait4(pid, nullptr, 0, &usage);
    pid = -1;
    auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime),
            static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw)};
  }
  bool writeAll(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(in, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  // The next answer line's length, without copying it; false at end of output.
  bool readLine(std::string&) {
    std::size_t length = 0;
    for (;;) {
      if (begin < end) {
        auto* nl = static_cast<char*>(std::memchr(buffer.data() + begin, '\n', end - begin));
        if (nl) {
          length += static_cast<std::size_t>(nl - (buffer.data() + begin));
          begin = static_cast<std::size_t>(nl - buffer.data()) + 1;
          return true;
        }
        length += end - begin;
      }
      ssize_t n = read(out, buffer.data(), buffer.size());
      if (n <= 0) return false;
      begin = 0;
      end = static_cast<std::size_t>(n);
    }
  }
};

void ProbeAnswersThroughPipes(benchmark::State& state) {
  Hands hands;
  const std::string probe = "{\"id\":1,\"verb\":\"probe\"}\n";
  // The host writes requests as fast as the pipe takes them, on its own thread.
  std::string batch;
  for (int i = 0; i < 1000; ++i)
    batch += probe;
  auto total = static_cast<std::size_t>(state.max_iterations);
  std::thread writer([&] {
    std::size_t sent = 0;
    while (sent + 1000 <= total && hands.writeAll(batch))
      sent += 1000;
    while (sent < total && hands.writeAll(probe))
      ++sent;
  });
  std::string line;
  for (auto _ : state)
    if (!hands.readLine(line)) state.SkipWithError("plenk-hands stopped answering");
  state.SetItemsProcessed(state.iterations());
  writer.join();
  // What the machine's load distorts least: plenk-hands' own CPU time per answer.
  auto used = hands.finish();
  auto answers = static_cast<double>(state.iterations());
  state.counters["hands_cpu_us_per_answer"] = used.cpuSeconds * 1e6 / answers;
  state.counters["hands_switches_per_answer"] = used.switches / answers;
}
BENCHMARK(ProbeAnswersThroughPipes)
    ->Iterations(300000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void MillionByteLine(benchmark::State& state) {
  Hands hands;
  const std::string head = "{\"id\":\"", tail = "\",\"verb\":\"probe\"}\n";
  std::string id;
  while (id.size() + head.size() + tail.size() - 1 + 2 <= 1'000'000)
    id += "\xC3\xA9";
  id.resize(1'000'000 - head.size() - (tail.size() - 1), 'a');
  std::string line = head + id + tail;
  std::string answer;
  for (auto _ : state) {
    std::thread writer([&] { hands.writeAll(line); });
    if (!hands.readLine(answer)) state.SkipWithError("plenk-hands stopped answering");
    writer.join();
  }
  state.counters["line_bytes"] = static_cast<double>(line.size() - 1);
  state.counters["hands_cpu_ms_per_line"] =
      hands.finish().cpuSeconds * 1e3 / static_cast<double>(state.iterations());
}
BENCHMARK(MillionByteLine)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
