// In-process media tests: the real files of this machine and real pictures, and in-memory console,
// timer, system, clock, PDFs, recogniser and recordings. runMedia returns the exit status instead
// of ending the process.
#pragma once

#include "media/context.hpp"
#include "platform/linux/images.hpp"
#include "platform/memory/console.hpp"
#include "platform/memory/fixed_system.hpp"
#include "platform/memory/manual_timer.hpp"
#include "platform/memory/media.hpp"
#include "platform/memory/pdf.hpp"
#include "platform/memory/recognition.hpp"
#include "platform/memory/virtual_clock.hpp"

#include <memory>
#include <string>

namespace plenk::media {

// The in-memory services of a test run, and real pictures (there is no in-memory libvips).
// Recordings are scripted: a file that was not scripted holds no tracks.
struct TestServices {
  MemoryConsole console;
  ManualTimer timer;
  FixedSystem system;
  VirtualClock clock;
  MemoryPdf pdf;
  MemoryRecogniser recogniser;
  std::unique_ptr<Images> images = linuxImages();
  MemoryRecordings recordings;

  // A Media over these services and the given PDF library, recogniser and recordings, which may
  // be this machine's real ones.
  Media over(Pdf& withPdf, Recogniser& withRecogniser, Recordings& withRecordings,
             Picker* picker = nullptr, FileTypes* fileTypes = nullptr) {
    return Media{.clock = clock,
                 .files = systemFiles(),
                 .system = system,
                 .console = console,
                 .timer = timer,
                 .pdf = withPdf,
                 .recogniser = withRecogniser,
                 .images = *images,
                 .recordings = withRecordings,
                 .picker = picker,
                 .fileTypes = fileTypes};
  }
};

struct TestMedia : TestServices {
  Media media = over(pdf, recogniser, recordings);

  // Standard output without its final line feed.
  std::string line() {
    std::string s = console.out;
    if (s.ends_with('\n')) s.pop_back();
    return s;
  }
};

} // namespace plenk::media
