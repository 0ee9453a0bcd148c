// A Media for in-process tests: the real files of this machine, and in-memory console, timer,
// system, clock, PDFs and recogniser. runMedia returns the exit status instead of ending the
// process.
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

#include <string>

namespace plenk::media {

struct TestMedia {
  MemoryConsole console;
  ManualTimer timer;
  FixedSystem system;
  VirtualClock clock;
  MemoryPdf pdf;
  MemoryRecogniser recogniser;
  // Pictures are real (there is no in-memory libvips); recordings are scripted, and a file that
  // was not scripted holds no tracks.
  std::unique_ptr<Images> images = linuxImages();
  MemoryRecordings recordings;
  Media media{.clock = clock,
              .files = systemFiles(),
              .system = system,
              .console = console,
              .timer = timer,
              .pdf = pdf,
              .recogniser = recogniser,
              .images = *images,
              .recordings = recordings};

  // Standard output without its final line feed.
  std::string line() {
    std::string s = console.out;
    if (s.ends_with('\n')) s.pop_back();
    return s;
  }
};

} // namespace plenk::media
