// Which shared libraries plenk-media loads when it starts: poppler, FFmpeg, libvips and tesseract
// bring about 175 and cost more start-up time than a pdftext run's own work, so they wait in the
// modules beside the executable for the verbs that use them.
#include "tests/support/paths.hpp"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace plenk {
namespace {

struct PipeCloser {
  void operator()(FILE* f) const { pclose(f); }
};

std::string output(const std::string& command) {
  std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
  std::string out;
  if (!pipe) return out;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0)
    out.append(buffer.data(), n);
  return out;
}

TEST(MediaLibraries, StartsWithoutTheLibrariesOfPicturesRecordingsAndRecognition) {
  const std::string bin = testing::binDir();
  const std::string started = output("ldd " + bin + "/plenk-media");
  ASSERT_NE(started.find("libc.so"), std::string::npos) << started;
  for (const char* later :
       {"libpoppler", "libavformat", "libavcodec", "libvips", "libtesseract", "libgomp"})
    EXPECT_EQ(started.find(later), std::string::npos) << later;

  const struct {
    const char* module;
    const char* library;
  } modules[] = {{"plenk-media-pdf.so", "libpoppler-cpp"},
                 {"plenk-media-images.so", "libvips"},
                 {"plenk-media-recordings.so", "libavcodec"},
                 {"plenk-media-recognition.so", "libtesseract"}};
  for (const auto& m : modules)
    EXPECT_NE(output("ldd " + bin + "/" + m.module).find(m.library), std::string::npos) << m.module;
}

// Both programs bring mimalloc; if the link order ever put glibc's malloc first, poppler and the
// JSON code would quietly run on the slower allocator again.
TEST(MediaLibraries, EveryLibraryAllocatesThroughMimalloc) {
#ifndef PLENK_MIMALLOC
  GTEST_SKIP() << "built without mimalloc (the sanitizers bring their own allocator)";
#else
  const std::string bin = testing::binDir();
  for (const char* run : {"/plenk-media probe", "/plenk-hands </dev/null"}) {
    const std::string bindings = output("LD_DEBUG=bindings " + bin + run + " 2>&1 >/dev/null");
    std::size_t mallocs = 0, ours = 0;
    for (std::size_t at = bindings.find("`malloc'"); at != std::string::npos;
         at = bindings.find("`malloc'", at + 1)) {
      const std::size_t begin = bindings.rfind('\n', at) + 1;
      const std::string line = bindings.substr(begin, at - begin);
      ++mallocs;
      if (line.find("libmimalloc") != std::string::npos) ++ours;
    }
    // libstdc++ and libc at least look malloc up at start.
    EXPECT_GE(mallocs, 2u) << run;
    EXPECT_EQ(ours, mallocs) << run << "\n" << bindings.substr(0, 4000);
  }
#endif
}

} // namespace
} // namespace plenk
