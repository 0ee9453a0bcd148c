// What the plenk-media file fuzz targets share: one in-process run of a verb over the fuzzer's
// bytes as the --in file, with this machine's PDF, picture and recording libraries and an
// in-memory console and timer (no deadline: a hang shows as libFuzzer's timeout). Every run must
// end in exactly one answer line with the envelope, an exit status that matches its code, at most
// one diagnostic line, and an output folder holding no temporary and no file not in the answer.
#pragma once

#include "media/context.hpp"
#include "media/frame/answer.hpp"
#include "media/frame/run.hpp"
#include "platform/json.hpp"
#include "platform/linux/images.hpp"
#include "platform/linux/media.hpp"
#include "platform/linux/pdf.hpp"
#include "platform/memory/console.hpp"
#include "platform/memory/fixed_system.hpp"
#include "platform/memory/manual_timer.hpp"
#include "platform/memory/recognition.hpp"
#include "platform/memory/virtual_clock.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace plenk::fuzz {

inline void check(bool ok, const char* what, const std::string& detail = "") {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s %s\n", what, detail.c_str());
  std::abort();
}

struct FileFuzz {
  FileFuzz() {
    const auto base =
        std::filesystem::temp_directory_path() / ("plenk-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(base / "out");
    in = (base / "in").string();
    out = (base / "out").string();
  }

  // Runs `verb --in <the bytes> --out <empty folder>` with the extra options and checks the run.
  void run(const std::string& verb, const std::uint8_t* data, std::size_t size,
           const std::vector<std::string>& extra = {}) {
    {
      std::ofstream file(in, std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    for (const auto& entry : std::filesystem::directory_iterator(out))
      std::filesystem::remove_all(entry.path());
    MemoryConsole console;
    ManualTimer timer;
    media::Media job{.clock = clock,
                     .files = systemFiles(),
                     .system = system,
                     .console = console,
                     .timer = timer,
                     .pdf = *pdf,
                     .recogniser = recogniser,
                     .images = *images,
                     .recordings = *recordings};
    std::vector<std::string> args{verb, "--in", in, "--out", out, "--nonce", "f"};
    args.insert(args.end(), extra.begin(), extra.end());
    const int status = media::runMedia(job, args);
    checkAnswer(console, status);
  }

  void checkAnswer(const MemoryConsole& console, int status) {
    check(console.exits == 1, "one end");
    check(console.out.ends_with('\n') && console.out.find('\n') == console.out.size() - 1,
          "one line", console.out);
    const std::string text = console.out.substr(0, console.out.size() - 1);
    // The fixed line of an answer that could not be serialised carries no envelope.
    if (text == media::FALLBACK_LINE) return;
    auto line = json::parse(text);
    check(line && line->is_object(), "a JSON object", console.out);
    for (const char* key : {"helper", "protocol", "version", "nonce", "verb", "ok"})
      check(line->contains(key), "envelope key", key);
    const bool ok = (*line)["ok"] == true;
    static const std::map<std::string, int> STATUS = {
        {"E_USAGE", 2}, {"E_INPUT", 3}, {"E_WORK", 4}, {"E_DEADLINE", 5}, {"E_OUT", 6}};
    if (ok) {
      check(status == 0 && console.err.empty(), "success is quiet and 0", console.err);
    } else {
      auto code = (*line)["code"].get<std::string>();
      check(STATUS.contains(code) && STATUS.at(code) == status, "status of the code", code);
      check(console.err.find('\n') == console.err.size() - 1, "one diagnostic", console.err);
    }
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
      const std::string name = entry.path().filename().string();
      check(!name.starts_with('.'), "no temporary left", name);
      check(ok, "a failure writes no file here", name);
      // A scan's text layer is rightly empty; a picture or a sound never is.
      check(entry.file_size() > 0 || name == "text.txt", "no empty output", name);
    }
  }

  std::string in, out;
  VirtualClock clock;
  FixedSystem system;
  MemoryRecogniser recogniser;
  std::unique_ptr<Pdf> pdf = popplerPdf();
  std::unique_ptr<Images> images = linuxImages();
  std::unique_ptr<Recordings> recordings = linuxRecordings();
};

inline FileFuzz& fileFuzz() {
  static FileFuzz* fuzz = new FileFuzz; // never destroyed: library threads may outlive main
  return *fuzz;
}

} // namespace plenk::fuzz
