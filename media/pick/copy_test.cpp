#include "media/frame/answer.hpp"
#include "media/frame/test_media.hpp"
#include "media/pick/copy.hpp"
#include "platform/linux/media.hpp"
#include "platform/memory/picker.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace plenk::media {
namespace {

namespace fs = std::filesystem;

// The loaders over this machine's pictures and recordings, with an in-memory console; each
// handler is called directly, as the platform would, with a file or without one.
struct Loaders : TestServices {
  Loaders() {
    std::string pattern = (fs::temp_directory_path() / "plenk-loaders.XXXXXX").string();
    root = mkdtemp(pattern.data());
    std::system(("/usr/bin/convert -size 64x48 xc:orange " + (root / "p.jpg").string()).c_str());
    std::system(("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=64x48:rate=5:duration=1 "
                 "-c:v mpeg4 " +
                 (root / "v.mov").string() + " </dev/null")
                    .c_str());
    fs::create_directory(root / "out");
  }
  ~Loaders() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  std::shared_ptr<PhotoPick> session(const fs::path& dir) {
    return std::make_shared<PhotoPick>(
        dir.string(), picker, types, [this](const Json& r) { finish(media, r); },
        [](const PickJob&, std::weak_ptr<PhotoPick>) {});
  }
  Json line() {
    auto parsed = json::parse(console.out);
    return parsed.value_or(Json());
  }

  fs::path root;
  std::unique_ptr<Recordings> real = linuxRecordings();
  MemoryFileTypes types;
  MemoryPicker picker{types, fs::temp_directory_path().string()};
  Media media = over(pdf, recogniser, *real, &picker, &types);
};

TEST(PickLoaders, DoNothingOnceTheSessionIsGone) {
  Loaders l;
  std::weak_ptr<PhotoPick> gone;
  {
    auto s = l.session(l.root / "out");
    gone = s;
  }
  loadPhoto(l.media, gone, "photo-001.jpg", 0, "jpeg")((l.root / "p.jpg").string());
  loadVideo(l.media, gone, "video-001.mov", 0, "mov")(std::nullopt);
  EXPECT_EQ(l.console.out, "");
  EXPECT_TRUE(fs::is_empty(l.root / "out"));
}

TEST(PickLoaders, PhotographRecord) {
  Loaders l;
  auto s = l.session(l.root / "out");
  loadPhoto(l.media, s, "photo-001.jpg", 0, "heic")((l.root / "p.jpg").string());
  Json line = l.line();
  ASSERT_EQ(line["count"], 1) << l.console.out;
  EXPECT_EQ(line["items"][0], (Json{{"file", "photo-001.jpg"},
                                    {"kind", "image"},
                                    {"mime", "image/jpeg"},
                                    {"bytes", fs::file_size(l.root / "out" / "photo-001.jpg")},
                                    {"width", 64},
                                    {"height", 48},
                                    {"from", "heic"},
                                    {"maxEdge", 1400}}));
}

TEST(PickLoaders, AFailedWriteEndsTheRunButAFailedVideoCopyOnlyLeavesANote) {
  {
    Loaders l;
    auto s = l.session(l.root / "no-such-folder");
    loadPhoto(l.media, s, "photo-001.jpg", 0, "jpeg")((l.root / "p.jpg").string());
    EXPECT_EQ(l.console.status, 6);
    EXPECT_EQ(
        l.line()["message"],
        "a photograph chosen in Photos could not be written into the directory given to --out");
  }
  {
    Loaders l;
    auto s = l.session(l.root / "no-such-folder");
    loadVideo(l.media, s, "video-001.mov", 0, "mov")((l.root / "v.mov").string());
    EXPECT_EQ(l.console.status, 0);
    EXPECT_EQ(l.line()["notes"], Json{NOTE_VIDEO_NOT_COPIED});
    EXPECT_EQ(l.line()["count"], 0);
  }
}

} // namespace
} // namespace plenk::media
