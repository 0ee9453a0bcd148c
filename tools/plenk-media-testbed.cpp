// plenk-media with three extra verbs for process-level tests of the frame:
//   hold  --max-seconds S   waits S seconds (default: an hour), then answers {"seconds": S}
//   echo  --max-chars N --quality X   answers the raw values the readers give, unclamped
//   place --in F --out D [--format NAME]   checks both paths and writes "plenk\n" into D/NAME
// A leading "--fast" runs every millisecond as a microsecond (deadline and hold alike), so a
// race between the deadline and a verb's own end can be run thousands of times.
#include "media/frame/answer.hpp"
#include "media/frame/paths.hpp"
#include "media/frame/run.hpp"
#include "platform/linux/images.hpp"
#include "platform/linux/media.hpp"
#include "platform/linux/pdf.hpp"
#include "platform/linux/recognition.hpp"

#include <chrono>
#include <limits>
#include <thread>

using namespace plenk;
using namespace plenk::media;

namespace {

std::int64_t microsPerMilli = 1000;

struct ScaledTimer final : Timer {
  void once(std::int64_t millis, std::function<void()> handler) override {
    auto due =
        std::chrono::steady_clock::now() + std::chrono::microseconds(millis * microsPerMilli);
    std::thread([due, handler = std::move(handler)] {
      std::this_thread::sleep_until(due);
      handler();
    }).detach();
  }
};

Json verbHold(Media& media, const Options& opts) {
  double seconds = doubleOpt(opts, "--max-seconds", 3600.0, 0.0, 14400.0);
  media.clock.sleepMicros(static_cast<std::int64_t>(seconds * 1000.0 * microsPerMilli));
  return {{"seconds", num(seconds)}};
}

Json verbEcho(Media&, const Options& opts) {
  constexpr auto lo = std::numeric_limits<std::int64_t>::min();
  constexpr auto hi = std::numeric_limits<std::int64_t>::max();
  constexpr double big = std::numeric_limits<double>::max();
  return {{"maxChars", intOpt(opts, "--max-chars", 0, lo, hi)},
          {"quality", num(doubleOpt(opts, "--quality", 0.0, -big, big))}};
}

Json verbPlace(Media& media, const Options& opts) {
  std::string in = inputURL(media, opts);
  std::string dir = outDir(media, opts);
  auto name = opts.contains("--format") ? opts.at("--format") : std::string("text.txt");
  std::string path = outFile(media, dir, name);
  writeOut(media, "plenk\n", path, "the test text");
  return {{"dir", dir}, {"file", name}, {"bytes", fileSize(media, path)}, {"in", in}};
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (!args.empty() && args[0] == "--fast") {
    microsPerMilli = 1;
    args.erase(args.begin());
  }
  std::vector<VerbEntry> verbs(mediaVerbs().begin(), mediaVerbs().end());
  verbs.push_back({"hold", verbHold});
  verbs.push_back({"echo", verbEcho});
  verbs.push_back({"place", verbPlace});
  static ScaledTimer timer;
  static auto pdf = popplerPdf();
  static auto recogniser = tesseractRecogniser();
  std::unique_ptr<Images> images = linuxImages();
  std::unique_ptr<Recordings> recordings = linuxRecordings();
  Media media{.clock = steadyClock(),
              .files = systemFiles(),
              .system = thisSystem(),
              .console = processConsole(),
              .timer = timer,
              .pdf = *pdf,
              .recogniser = *recogniser,
              .images = *images,
              .recordings = *recordings};
  return runMedia(media, args, verbs);
}
