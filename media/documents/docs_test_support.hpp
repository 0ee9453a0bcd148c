// Shared by the document verbs' tests: a Media on the real PDF library and one on in-memory
// PDFs and recogniser, an output folder, and the failure a verb raises.
#pragma once

#include "media/context.hpp"
#include "media/frame/errors.hpp"
#include "media/verbs.hpp"
#include "platform/linux/images.hpp"
#include "platform/linux/pdf.hpp"
#include "platform/linux/recognition.hpp"
#include "platform/memory/console.hpp"
#include "platform/memory/fixed_system.hpp"
#include "platform/memory/manual_timer.hpp"
#include "platform/memory/media.hpp"
#include "platform/memory/pdf.hpp"
#include "platform/memory/recognition.hpp"
#include "platform/memory/virtual_clock.hpp"
#include "tests/support/documents.hpp"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace plenk::media {

struct Failure {
  Code code;
  std::string message;
};

// The failure the call raises, or nothing when it returns.
inline std::optional<Failure> failureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const MediaError& e) {
    return Failure{e.code, e.message};
  }
  return std::nullopt;
}

struct DocsFixture : ::testing::Test {
  void SetUp() override { std::filesystem::create_directory(out()); }

  // A file on disk that the in-memory PDF library answers for.
  std::string memoryPdf(const std::string& name, MemoryPdfFile file) {
    const std::string path = dir / name;
    testing::writeFile(path, "%PDF-1.7\n");
    pdf.files[path] = std::move(file);
    return path;
  }
  // A text PDF on disk, for the real library.
  std::string realPdf(const std::string& name, const std::vector<testing::TextPage>& pages) {
    const std::string path = dir / name;
    testing::writeFile(path, testing::textPdf(pages));
    return path;
  }
  Options opts(const std::string& in, Options more = {}) {
    more["--in"] = in;
    if (!more.contains("--out")) more["--out"] = out();
    return more;
  }
  std::string out() const { return (dir.path / "out").string(); }
  std::string written() const { return testing::readFile(out() + "/text.txt"); }
  bool outEmpty() const { return std::filesystem::is_empty(out()); }

  testing::TempDir dir;
  MemoryConsole console;
  ManualTimer timer;
  FixedSystem system;
  VirtualClock clock;
  MemoryPdf pdf;
  MemoryRecogniser recogniser;
  std::unique_ptr<Pdf> poppler = popplerPdf();
  std::unique_ptr<Recogniser> tesseract = tesseractRecogniser();
  std::unique_ptr<Images> images = linuxImages();
  MemoryRecordings recordings;
  Media mem{.clock = clock,
            .files = systemFiles(),
            .system = system,
            .console = console,
            .timer = timer,
            .pdf = pdf,
            .recogniser = recogniser,
            .images = *images,
            .recordings = recordings};
  Media real{.clock = clock,
             .files = systemFiles(),
             .system = system,
             .console = console,
             .timer = timer,
             .pdf = *poppler,
             .recogniser = *tesseract,
             .images = *images,
             .recordings = recordings};
};

} // namespace plenk::media
