// plenk-media against damaged files and hostile surroundings: every verb on every file of the
// corpus that tools/make-corpus writes, and runs whose standard streams are closed, whose disk
// is full or read-only, or whose files vanish while they work. Each run must keep the program's
// promises: one JSON line with the envelope, an exit status that matches its code, at most one
// diagnostic line, no death by a signal, no run past its deadline, nothing in --out changed and
// no cut or temporary file left there.
#include "platform/json.hpp"
#include "tests/run_program.hpp"
#include "tests/support/fixtures.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/schema.hpp"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <sched.h>
#include <set>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace plenk::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif
#else
constexpr bool SANITIZED = false;
#endif

constexpr int DEADLINE_MS = 10000;
// Start-up, and the sanitizers' own slowness, on top of the deadline.
constexpr double LATE_SECONDS = SANITIZED ? 20 : 5;

// How the host treats one of the child's standard output streams.
enum class Stream {
  Read,      // a pipe that is read to its end
  Abandoned, // a pipe whose reading end is closed before the child writes
  Missing,   // the descriptor is not open in the child at all
};

struct Launch {
  std::vector<std::string> args = {};
  Stream out = Stream::Read;
  Stream err = Stream::Read;
  std::string cwd = {};
  // Called once the child runs (to make its files vanish, say).
  std::function<void()> meanwhile = {};
};

struct Ran {
  std::string out, err;
  int status = -1; // exit status, or 128 + signal
  double seconds = 0;
};

Ran spawn(const Launch& run) {
  std::string program = binDir() + "/plenk-media";
  std::vector<std::string> args = run.args;
  std::vector<char*> argv{program.data()};
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  std::vector<int> readEnds(3, -1);
  for (int fd : {1, 2}) {
    Stream how = fd == 1 ? run.out : run.err;
    if (how == Stream::Missing) {
      posix_spawn_file_actions_addclose(&actions, fd);
      continue;
    }
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_adddup2(&actions, p[1], fd);
    readEnds[fd] = p[0];
    // Closed here after the spawn; an abandoned one also loses its reader now.
    if (how == Stream::Abandoned) {
      ::close(p[0]);
      readEnds[fd] = -1;
    }
    readEnds.push_back(p[1]);
  }
  if (!run.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, run.cwd.c_str());
  const auto started = Clock::now();
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  for (std::size_t i = 3; i < readEnds.size(); ++i)
    ::close(readEnds[i]);
  Ran done;
  if (spawned != 0) return done;
  if (run.meanwhile) run.meanwhile();
  std::vector<pollfd> fds;
  std::vector<std::string*> sinks;
  for (int fd : {1, 2})
    if (readEnds[fd] >= 0) {
      fds.push_back({readEnds[fd], POLLIN, 0});
      sinks.push_back(fd == 1 ? &done.out : &done.err);
    }
  readUntilClosed(fds, sinks);
  int status = waitForExit(pid);
  done.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  done.status = status;
  testing::schema::expectMediaRun(program, status, done.out);
  return done;
}

// Runs the jobs on as many threads as the machine has cores.
std::vector<Ran> spawnAll(const std::vector<Launch>& runs) {
  std::vector<Ran> done(runs.size());
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> workers;
  unsigned n = std::max(2u, std::thread::hardware_concurrency());
  for (unsigned w = 0; w < n; ++w)
    workers.emplace_back([&] {
      for (std::size_t i; (i = next++) < runs.size();)
        done[i] = spawn(runs[i]);
    });
  for (auto& w : workers)
    w.join();
  return done;
}

// Name, size and first bytes of everything in a folder.
using Listing = std::map<std::string, std::string>;
Listing listing(const fs::path& dir) {
  Listing items;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    items[name] = entry.is_regular_file() ? readFile(entry.path()) : std::string("<not a file>");
  }
  return items;
}

const std::map<std::string, int> STATUS_OF = {{"E_USAGE", 2},    {"E_INPUT", 3},
                                              {"E_WORK", 4},     {"E_UNSUPPORTED", 4},
                                              {"E_DEADLINE", 5}, {"E_OUT", 6}};

// The promises of every run whose standard output was read; the answer, or nothing after a
// failed check.
std::optional<Json> expectKept(const Ran& r, const std::string& verb, const std::string& nonce,
                               bool errRead = true) {
  EXPECT_LT(r.status, 128) << "died of signal " << r.status - 128;
  EXPECT_LT(r.seconds, DEADLINE_MS / 1000.0 + LATE_SECONDS);
  bool oneLine = r.out.ends_with('\n') && r.out.find('\n') == r.out.size() - 1;
  EXPECT_TRUE(oneLine) << r.out;
  if (!oneLine) return std::nullopt;
  auto line = json::parse(std::string_view(r.out).substr(0, r.out.size() - 1));
  EXPECT_TRUE(line && line->is_object()) << r.out;
  if (!line || !line->is_object()) return std::nullopt;
  Json& a = *line;
  EXPECT_EQ(a.value("helper", ""), "plenk-media");
  EXPECT_EQ(a.value("protocol", 0), 1);
  EXPECT_EQ(a.value("version", ""), "1.0.0");
  EXPECT_EQ(a.value("verb", ""), verb);
  EXPECT_EQ(a.value("nonce", ""), nonce);
  EXPECT_TRUE(a.contains("ok") && a["ok"].is_boolean()) << r.out;
  if (a.value("ok", false)) {
    EXPECT_EQ(r.status, 0) << r.out;
    if (errRead) {
      EXPECT_EQ(r.err, "") << r.out;
    }
  } else {
    std::string code = a.value("code", "");
    EXPECT_TRUE(STATUS_OF.contains(code)) << r.out;
    if (STATUS_OF.contains(code)) {
      EXPECT_EQ(r.status, STATUS_OF.at(code)) << r.out;
    }
    // The deadline's diagnostic has words of its own; every other one repeats the message.
    if (errRead && code == "E_DEADLINE") {
      EXPECT_TRUE(r.err.starts_with("plenk-media: ") && r.err.find('\n') == r.err.size() - 1)
          << r.err;
    } else if (errRead) {
      EXPECT_EQ(r.err, "plenk-media: " + a.value("message", "") + "\n") << r.out;
    }
  }
  return line;
}

// What a run may leave in its --out folder: the sentinel unchanged, no temporary, nothing after
// a refusal (frames keeps the frames written before a later failure), and on success exactly the
// files the answer names, each of the size it gives.
void expectOutKept(const fs::path& out, const Listing& before, const Json& answer,
                   const std::string& verb) {
  Listing after = listing(out);
  std::map<std::string, std::int64_t> named;
  if (answer.value("ok", false)) {
    if (answer.contains("file") && answer["file"].is_string())
      named[answer["file"]] = answer.value("bytes", std::int64_t{-1});
    if (answer.contains("frames"))
      for (const Json& f : answer["frames"])
        named[f.value("file", "")] = f.value("bytes", std::int64_t{-1});
  }
  for (const auto& [name, bytes] : after) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(name.starts_with('.')) << "a temporary was left";
    if (before.contains(name)) {
      EXPECT_EQ(bytes, before.at(name)) << "a file already there changed";
    } else if (named.contains(name)) {
      if (named[name] >= 0) {
        EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), named[name]);
      }
      // A scan's text layer is rightly empty; a picture or a sound never is.
      EXPECT_TRUE(!bytes.empty() || name == "text.txt");
    } else {
      EXPECT_TRUE(verb == "frames" && !answer.value("ok", true) && name.starts_with("frame-"))
          << "an unnamed file appeared";
    }
  }
  for (const auto& [name, bytes] : named)
    EXPECT_TRUE(after.contains(name)) << name << " is named but missing";
}

// The corpus, made once per build folder (shards and repeated runs share it).
const fs::path& corpus() {
  static const fs::path dir = [] {
    fs::path d = fs::path(binDir()) / "corpus";
    fs::path script = fs::path(sourceDir()) / "tools/make-corpus";
    int lock = ::open((binDir() + "/corpus.lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    ::flock(lock, LOCK_EX);
    fs::path stamp = d / ".made";
    if (!fs::exists(stamp) || fs::last_write_time(stamp) < fs::last_write_time(script)) {
      fs::remove_all(d);
      std::string command =
          "/usr/bin/python3 " + script.string() + " " + d.string() + " >/dev/null";
      if (std::system(command.c_str()) == 0) std::ofstream(stamp) << "made\n";
    }
    ::close(lock);
    return d;
  }();
  return dir;
}

std::vector<fs::path> corpusFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(corpus()))
    if (entry.is_regular_file() && !entry.path().filename().string().starts_with('.'))
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  if (files.size() <= 100) return {}; // no corpus was made
  // Under the sanitizers every run is several times slower: every third file.
  if (SANITIZED) {
    std::vector<fs::path> some;
    for (std::size_t i = 0; i < files.size(); i += 3)
      some.push_back(files[i]);
    files = std::move(some);
  }
  return files;
}

const char* const SENTINEL = "keep.bin";

class Corpus : public ::testing::TestWithParam<std::string> {};

TEST_P(Corpus, EveryFileKeepsThePromises) {
  const std::string verb = GetParam();
  const std::vector<fs::path> files = corpusFiles();
  ASSERT_FALSE(files.empty()) << "tools/make-corpus made no corpus in " << corpus();
  TempDir work;
  std::vector<Launch> runs;
  std::vector<fs::path> outs;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const fs::path& file = files[i];
    // Hostile names are given as typed, relative to the working folder, and the --out folder
    // carries the same name.
    const bool hostile = file.parent_path().filename() == "names";
    fs::path job = work.path / std::to_string(i);
    fs::path out = hostile ? job / file.filename() : job / "out";
    fs::create_directories(out);
    std::ofstream(out / SENTINEL) << "was here " << i;
    Launch run;
    run.args = {verb,
                "--in",
                hostile ? file.filename().string() : file.string(),
                "--out",
                out,
                "--nonce",
                std::to_string(i),
                "--deadline",
                std::to_string(DEADLINE_MS)};
    if (verb == "ocr") run.args.insert(run.args.end(), {"--pages", "2"});
    if (verb == "frames") run.args.insert(run.args.end(), {"--count", "3"});
    if (hostile) run.cwd = file.parent_path();
    runs.push_back(std::move(run));
    outs.push_back(out);
  }
  const auto started = Clock::now();
  const std::vector<Ran> done = spawnAll(runs);
  std::map<std::string, int> codes;
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(verb + " " + files[i].string());
    auto answer = expectKept(done[i], verb, std::to_string(i));
    if (!answer) continue;
    expectOutKept(outs[i], {{SENTINEL, "was here " + std::to_string(i)}}, *answer, verb);
    ++codes[answer->value("code", "ok")];
    // The good files under hostile names are found and read like any other.
    if (files[i].parent_path().filename() == "names" && verb == "inspect") {
      EXPECT_EQ((*answer)["ok"], true) << done[i].out;
    }
  }
  std::string tally;
  for (const auto& [code, n] : codes)
    tally += " " + code + " " + std::to_string(n);
  std::size_t slowest = 0;
  for (std::size_t i = 0; i < files.size(); ++i)
    if (done[i].seconds > done[slowest].seconds) slowest = i;
  std::printf("%s: %zu files in %.1f s:%s; slowest %.1f s (%s)\n", verb.c_str(), files.size(),
              std::chrono::duration<double>(Clock::now() - started).count(), tally.c_str(),
              done[slowest].seconds, files[slowest].filename().c_str());
}

INSTANTIATE_TEST_SUITE_P(Verbs, Corpus,
                         ::testing::Values("inspect", "pdftext", "ocr", "frames", "audio"));

// ---- surroundings ----

struct Job {
  std::string verb;
  std::string in;
  std::vector<std::string> more;
  int status; // when its streams are read
};

const Job JOBS[] = {
    {"inspect", "media/h264-aac.mp4", {}, 0},
    {"pdftext", "pdf/plain.pdf", {}, 0},
    {"frames", "media/h264-aac.mp4", {"--count", "2"}, 0},
    {"audio", "media/tone.wav", {}, 0},
    {"pdftext", "media/tone.wav", {}, 3},
    {"frames", "pdf/plain.pdf", {}, 3},
};

TEST(MediaSurroundings, AHostThatStopsReadingGetsTheSameOutcome) {
  // SIGPIPE used to end the run on the first write into an abandoned pipe, and a standard
  // stream left closed gave its number to the first file opened, which then took the answer.
  const std::pair<Stream, Stream> modes[] = {
      {Stream::Abandoned, Stream::Read},      {Stream::Read, Stream::Abandoned},
      {Stream::Abandoned, Stream::Abandoned}, {Stream::Missing, Stream::Read},
      {Stream::Read, Stream::Missing},        {Stream::Missing, Stream::Missing},
  };
  TempDir work;
  std::vector<Launch> runs;
  std::vector<std::pair<const Job*, fs::path>> what;
  for (const auto& [out, err] : modes)
    for (const Job& job : JOBS) {
      fs::path dir = work.path / std::to_string(runs.size());
      fs::create_directory(dir);
      Launch run{
          .args = {job.verb, "--in", (corpus() / job.in).string(), "--out", dir, "--nonce", "n"},
          .out = out,
          .err = err};
      run.args.insert(run.args.end(), job.more.begin(), job.more.end());
      runs.push_back(run);
      what.emplace_back(&job, dir);
    }
  const auto done = spawnAll(runs);
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const auto& [job, dir] = what[i];
    SCOPED_TRACE(job->verb + " " + job->in + " out " + std::to_string(int(runs[i].out)) + " err " +
                 std::to_string(int(runs[i].err)));
    EXPECT_EQ(done[i].status, job->status) << done[i].out << done[i].err;
    if (runs[i].out == Stream::Read)
      expectKept(done[i], job->verb, "n", runs[i].err == Stream::Read);
    if (runs[i].err == Stream::Read && job->status != 0) {
      EXPECT_TRUE(done[i].err.starts_with("plenk-media: ")) << done[i].err;
    }
    for (const auto& [name, bytes] : listing(dir)) {
      EXPECT_FALSE(name.starts_with('.')) << name;
      EXPECT_EQ(bytes.find("plenk-media"), std::string::npos) << name << " took an answer";
    }
  }
}

// A small file system of our own, or a reason why not.
struct Mount {
  explicit Mount(const fs::path& at, const std::string& options) : path(at) {
    fs::create_directories(at);
    // In a mount namespace of this test's own, so that nothing is seen, or left, outside it.
    static const bool own = ::unshare(CLONE_NEWNS) == 0 &&
                            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    if (!own) {
      why = std::string("no mount namespace of our own: ") + std::strerror(errno);
      return;
    }
    mounted = ::mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted) why = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
  }
  ~Mount() {
    if (mounted) ::umount2(path.c_str(), MNT_DETACH);
  }
  fs::path path;
  bool mounted = false;
  std::string why;
};

TEST(MediaSurroundings, AFullDiskLeavesNoCutFile) {
  TempDir work;
  Mount disk(work.path / "disk", "size=96k");
  if (!disk.mounted) GTEST_SKIP() << disk.why;
  const std::string big = work / "big.mkv";
  const std::string tone = work / "tone.wav";
  ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=size=1280x720:rate=5:duration=2 -c:v ffv1 " + big));
  ASSERT_TRUE(ffmpeg("-f lavfi -i sine=frequency=300:duration=30 " + tone));
  std::string text;
  for (int i = 0; i < 3000; ++i)
    text += "(Line " + std::to_string(i) + " of a long text) ' ";
  const std::string doc = work / "long.pdf";
  {
    std::ofstream f(doc);
    std::string content = "BT /F1 10 Tf 10 800 Td 12 TL " + text + "ET";
    f << "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
      << "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
      << "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
      << "/Resources << /Font << /F1 5 0 R >> >> >> endobj\n"
      << "4 0 obj << /Length " << content.size() << " >> stream\n"
      << content << "\nendstream endobj\n"
      << "5 0 obj << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> endobj\n"
      << "trailer << /Root 1 0 R >>\n%%EOF\n";
  }
  // Fill the disk to its last byte: every output fails part-way or at once.
  {
    std::ofstream fill(disk.path / "filler", std::ios::binary);
    fill << std::string(128 * 1024, 'f');
  }
  auto names = [&] {
    std::set<std::string> found;
    for (const auto& [name, bytes] : listing(disk.path))
      found.insert(name);
    return found;
  };
  const auto fillerSize = fs::file_size(disk.path / "filler");
  const struct {
    std::vector<std::string> args;
    std::string code;
  } cases[] = {
      {{"frames", "--in", big, "--format", "png", "--max-edge", "1280", "--max-bytes", "4000000"},
       "E_OUT"},
      {{"audio", "--in", tone}, "E_WORK"},
      {{"pdftext", "--in", doc}, "E_OUT"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    Launch run{.args = c.args};
    run.args.insert(run.args.end(), {"--out", disk.path.string(), "--nonce", "full"});
    Ran r = spawn(run);
    auto answer = expectKept(r, c.args[0], "full");
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)["code"], c.code) << r.out;
    EXPECT_EQ(names(), std::set<std::string>{"filler"}) << "a cut file or a temporary was left";
    EXPECT_EQ(fs::file_size(disk.path / "filler"), fillerSize);
  }
}

TEST(MediaSurroundings, AReadOnlyFolderIsRefusedUntouched) {
  TempDir work;
  Mount ro(work.path / "ro", "size=64k");
  if (!ro.mounted) GTEST_SKIP() << ro.why;
  std::ofstream(ro.path / "old.txt") << "old";
  ASSERT_EQ(::mount(nullptr, ro.path.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
  for (const Job& job : JOBS) {
    if (job.verb == "inspect" || job.status != 0) continue;
    SCOPED_TRACE(job.verb);
    Launch run{.args = {job.verb, "--in", (corpus() / job.in).string(), "--out", ro.path.string()}};
    Ran r = spawn(run);
    auto answer = expectKept(r, job.verb, "");
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)["message"], "the directory given to --out cannot be written to");
    EXPECT_EQ(listing(ro.path), (Listing{{"old.txt", "old"}}));
  }
}

// As `rm -rf` run again by a user: a file the run creates between the listing and the
// last rmdir makes one pass fail with "Directory not empty".
void removeWhileWritten(const fs::path& dir) {
  for (int pass = 0; pass < 50 && fs::exists(dir); ++pass) {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  ASSERT_FALSE(fs::exists(dir)) << "the folder could not be removed";
}

TEST(MediaSurroundings, FilesThatVanishMidRunStillGetOneAnswer) {
  TempDir work;
  const std::string clip = work / "clip.mkv";
  ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=size=640x360:rate=25:duration=20 -f lavfi -i "
                     "sine=duration=20 -c:v mpeg4 -q:v 10 -c:a flac " +
                     clip));
  struct Case {
    std::string name;
    std::string verb;
    std::function<void(const fs::path& in, const fs::path& out)> vanish;
  };
  const Case cases[] = {
      {"input removed", "frames", [](auto& in, auto&) { fs::remove(in); }},
      {"input cut to nothing", "frames", [](auto& in, auto&) { fs::resize_file(in, 0); }},
      {"input cut in half", "audio",
       [](auto& in, auto&) { fs::resize_file(in, fs::file_size(in) / 2); }},
      {"output folder removed", "frames", [](auto&, auto& out) { removeWhileWritten(out); }},
      {"output folder removed", "audio", [](auto&, auto& out) { removeWhileWritten(out); }},
  };
  for (const Case& c : cases)
    for (int delayMs : {5, 60, 250}) {
      SCOPED_TRACE(c.name + " during " + c.verb + " after " + std::to_string(delayMs) + " ms");
      fs::path in = work.path / "in.mkv", out = work.path / "out";
      fs::copy_file(clip, in, fs::copy_options::overwrite_existing);
      fs::create_directories(out);
      Launch run{.args = {c.verb, "--in", in, "--out", out, "--count", "8"}};
      if (c.verb == "audio") run.args.resize(5);
      run.meanwhile = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        c.vanish(in, out);
      };
      Ran r = spawn(run);
      auto answer = expectKept(r, c.verb, "");
      if (answer && fs::exists(out)) expectOutKept(out, {}, *answer, c.verb);
      fs::remove_all(out);
    }
}

TEST(MediaSurroundings, TheDeadlineNeverLeavesACutFrame) {
  TempDir work;
  const std::string clip = work / "clip.mkv";
  ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc2=size=1920x1080:rate=10:duration=8 -c:v ffv1 " + clip));
  int deadlines = 0;
  for (int i = 0; i < 6; ++i) {
    fs::path out = work.path / ("out" + std::to_string(i));
    fs::create_directory(out);
    Ran r = spawn({.args = {"frames", "--in", clip, "--out", out, "--count", "8", "--format", "png",
                            "--max-edge", "4096", "--max-bytes", "4000000", "--deadline", "500"}});
    auto answer = expectKept(r, "frames", "");
    ASSERT_TRUE(answer);
    deadlines += (*answer)["ok"] == false;
    for (const auto& [name, bytes] : listing(out)) {
      SCOPED_TRACE(name);
      EXPECT_FALSE(name.starts_with('.'));
      // A whole PNG ends with its IEND chunk.
      EXPECT_TRUE(bytes.ends_with(std::string("IEND\xae\x42\x60\x82", 8)));
    }
  }
  EXPECT_GT(deadlines, 0) << "no run met its deadline: the case tests nothing";
}

} // namespace
} // namespace plenk::testing
