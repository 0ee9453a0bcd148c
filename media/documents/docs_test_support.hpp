// Shared by the document verbs' tests: a Media on the real PDF library and one on in-memory
// PDFs and recogniser, an output folder, and the failure a verb raises.
#pragma once

#include "media/context.hpp"
#include "media/frame/errors.hpp"
#include "media/frame/test_media.hpp"
#include "media/verbs.hpp"
#include "platform/linux/images.hpp"
#include "platform/linux/pdf.hpp"
#include "platform/linux/recognition.hpp"
#include "tests/support/documents.hpp"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <span>
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

// Options a verb refuses with this failure.
struct Refusal {
  const char* name;
  Options opts;
  Code code;
  std::string message;
};

// Each refusal fails the verb as it says and leaves the output folder empty.
template <class Verb>
void expectRefusals(std::span<const Refusal> refusals, Verb&& verb, const std::string& outDir) {
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.name);
    auto f = failureOf([&] { verb(r.opts); });
    ASSERT_TRUE(f);
    EXPECT_EQ(f->code, r.code);
    EXPECT_EQ(f->message, r.message);
    EXPECT_TRUE(std::filesystem::is_empty(outDir));
  }
}

struct DocsFixture : ::testing::Test, TestServices {
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
  std::unique_ptr<Pdf> poppler = popplerPdf();
  std::unique_ptr<Recogniser> tesseract = tesseractRecogniser();
  Media mem = over(pdf, recogniser, recordings);
  Media real = over(*poppler, *tesseract, recordings);
};

} // namespace plenk::media
