#include "platform/linux/images.hpp"
#include "platform/linux/media.hpp"
#include "platform/linux/picker/library.hpp"
#include "tests/support/pick_library.hpp"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace plenk {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

struct Library {
  TempDir root;
  std::string pictures = root / "Pictures";
  std::string videos = root / "Videos";
  Library() {
    fs::create_directories(pictures + "/2024/trip");
    fs::create_directories(videos);
    fs::create_directories(pictures + "/.hidden");
  }
};

std::vector<LibraryItem> listAll(const Library& lib, LibraryKinds kinds, Recordings& recordings) {
  std::vector<LibraryItem> all;
  std::vector<std::size_t> batches;
  listLibrary({lib.pictures, lib.videos}, kinds, recordings, [&](std::vector<LibraryItem> batch) {
    batches.push_back(batch.size());
    for (auto& item : batch)
      all.push_back(std::move(item));
  });
  return all;
}

// One library with every kind of trouble: the listing is newest first, typed by content,
// filtered by kind, with each broken kind kept and marked, and link loops walked once.
TEST(PickLibrary, ListsNewestFirstWithFaultsMarked) {
  Library lib;
  auto recordings = linuxRecordings();
  ASSERT_TRUE(testing::sidewaysJpeg(lib.pictures + "/sideways.jpg"));
  ASSERT_TRUE(testing::picture(lib.pictures + "/2024/trip/beach.heic"));
  ASSERT_TRUE(testing::picture(lib.pictures + "/2024/named-wrong.png"));
  fs::rename(lib.pictures + "/2024/named-wrong.png", lib.pictures + "/2024/png-really.txt");
  ASSERT_TRUE(testing::picture(lib.pictures + "/2024/real.png"));
  fs::rename(lib.pictures + "/2024/real.png", lib.pictures + "/2024/png-really.jpg");
  ASSERT_TRUE(testing::clip(lib.videos + "/clip.mov"));
  ASSERT_TRUE(testing::clip(lib.videos + "/film.mkv"));
  testing::writeFile(lib.videos + "/empty.mp4", "");
  testing::writeFile(lib.pictures + "/broken.jpg", "not a picture at all");
  testing::writeFile(lib.pictures + "/notes.txt", "shopping list");
  ASSERT_TRUE(testing::picture(lib.pictures + "/.hidden/secret.png"));
  fs::create_directory_symlink(lib.pictures, lib.pictures + "/2024/loop");
  fs::create_symlink(lib.pictures + "/self-a.jpg", lib.pictures + "/self-b.jpg");
  fs::create_symlink(lib.pictures + "/self-b.jpg", lib.pictures + "/self-a.jpg");
  fs::create_symlink(lib.videos, lib.pictures + "/videos-again");

  const std::map<std::string, int> ages{
      {"sideways.jpg", 10}, {"beach.heic", 20}, {"png-really.txt", 30}, {"png-really.jpg", 35},
      {"clip.mov", 40},     {"film.mkv", 50},   {"empty.mp4", 60},      {"broken.jpg", 70}};
  for (const auto& entry : fs::recursive_directory_iterator(lib.root.path))
    if (auto it = ages.find(entry.path().filename()); it != ages.end())
      testing::age(entry.path(), it->second);

  struct Expect {
    const char* name;
    const char* type;
    bool video;
    ItemFault fault;
  };
  const Expect both[] = {
      {"sideways.jpg", "image/jpeg", false, ItemFault::none},
      {"beach.heic", "image/heic", false, ItemFault::none},
      {"png-really.txt", "image/png", false, ItemFault::none},
      {"png-really.jpg", "image/png", false, ItemFault::none},
      {"clip.mov", "video/quicktime", true, ItemFault::none},
      {"film.mkv", "video/x-matroska", true, ItemFault::none},
      {"empty.mp4", "video/mp4", true, ItemFault::empty},
      {"broken.jpg", "image/jpeg", false, ItemFault::undecodable},
  };
  auto all = listAll(lib, LibraryKinds::both, *recordings);
  ASSERT_EQ(all.size(), std::size(both));
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].name, both[i].name) << i;
    EXPECT_EQ(all[i].type.value_or("none"), both[i].type) << all[i].name;
    EXPECT_EQ(all[i].video, both[i].video) << all[i].name;
    EXPECT_EQ(all[i].fault, both[i].fault) << all[i].name;
  }
  auto videos = listAll(lib, LibraryKinds::videos, *recordings);
  ASSERT_EQ(videos.size(), 3u);
  EXPECT_TRUE(std::all_of(videos.begin(), videos.end(), [](auto& v) { return v.video; }));
  auto images = listAll(lib, LibraryKinds::images, *recordings);
  EXPECT_EQ(images.size(), 5u);
}

TEST(PickLibrary, ThumbnailsAreUprightSmallAndFromTheCacheWhenFresh) {
  Library lib;
  auto images = linuxImages();
  auto recordings = linuxRecordings();
  auto item = [&](const std::string& path) {
    return *describeFile(path, LibraryKinds::both, *recordings);
  };
  std::string sideways = lib.pictures + "/sideways.jpg";
  ASSERT_TRUE(testing::sidewaysJpeg(sideways, 300, 200));
  auto upright = thumbnailOf(item(sideways), *images, *recordings, 150);
  ASSERT_TRUE(upright);
  EXPECT_EQ(upright->width, 100);
  EXPECT_EQ(upright->height, 150);

  std::string heic = lib.pictures + "/photo.heic";
  ASSERT_TRUE(testing::picture(heic, 400, 200));
  auto fromHeic = thumbnailOf(item(heic), *images, *recordings, 150);
  ASSERT_TRUE(fromHeic);
  EXPECT_EQ(fromHeic->width, 150);

  std::string mov = lib.videos + "/clip.mov";
  ASSERT_TRUE(testing::clip(mov, 2.0));
  auto frame = thumbnailOf(item(mov), *images, *recordings, 150);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->width, 150);
  EXPECT_EQ(frame->height, 113);

  // A cached thumbnail made of the file as it is now is used; one of an older version is not.
  std::string cache = lib.root / "cache";
  ASSERT_EQ(::setenv("XDG_CACHE_HOME", cache.c_str(), 1), 0);
  std::string cached = cachedThumbnailPath(heic, "normal");
  ::unsetenv("XDG_CACHE_HOME");
  ASSERT_TRUE(cached.starts_with(cache + "/thumbnails/normal/")) << cached;
  fs::create_directories(fs::path(cached).parent_path());
  struct stat st {};
  ASSERT_EQ(::stat(heic.c_str(), &st), 0);
  auto writeCache = [&](long mtime) {
    fs::remove(cached);
    return testing::magick("-size 128x32 xc:yellow -set Thumb::MTime " + std::to_string(mtime) +
                           " '" + cached + "'");
  };
  ASSERT_TRUE(writeCache(st.st_mtim.tv_sec));
  ASSERT_EQ(::setenv("XDG_CACHE_HOME", cache.c_str(), 1), 0);
  auto fromCache = thumbnailOf(item(heic), *images, *recordings, 128);
  ASSERT_TRUE(writeCache(st.st_mtim.tv_sec - 100));
  auto stale = thumbnailOf(item(heic), *images, *recordings, 128);
  ::unsetenv("XDG_CACHE_HOME");
  ASSERT_TRUE(fromCache && stale);
  EXPECT_EQ(fromCache->height, 32);
  EXPECT_EQ(stale->height, 64);

  // A file that went away after it was listed.
  auto gone = item(sideways);
  fs::remove(sideways);
  EXPECT_FALSE(thumbnailOf(gone, *images, *recordings, 150));
}

} // namespace
} // namespace plenk
