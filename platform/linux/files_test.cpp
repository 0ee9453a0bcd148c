#include "platform/files.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plenk {
namespace {

namespace fs = std::filesystem;

struct SystemFiles : ::testing::Test {
  void SetUp() override {
    char tmpl[] = "/tmp/plenk-files-XXXXXX";
    ASSERT_TRUE(::mkdtemp(tmpl));
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string dir;
  Files& files = systemFiles();
};

TEST_F(SystemFiles, KindsAndTakenNames) {
  std::ofstream(dir + "/f") << "abc";
  fs::create_directory(dir + "/d");
  ::mkfifo((dir + "/p").c_str(), 0644);
  fs::create_symlink(dir + "/f", dir + "/lf");
  fs::create_symlink(dir + "/d", dir + "/ld");
  fs::create_symlink(dir + "/none", dir + "/dangling");
  EXPECT_EQ(files.kind(dir + "/f"), ItemKind::File);
  EXPECT_EQ(files.kind(dir + "/lf"), ItemKind::File);
  EXPECT_EQ(files.kind(dir + "/d"), ItemKind::Directory);
  EXPECT_EQ(files.kind(dir + "/ld"), ItemKind::Directory);
  EXPECT_EQ(files.kind(dir + "/p"), ItemKind::Other);
  EXPECT_EQ(files.kind(dir + "/dangling"), ItemKind::None);
  EXPECT_TRUE(files.taken(dir + "/dangling"));
  EXPECT_FALSE(files.taken(dir + "/none"));
  EXPECT_EQ(files.size(dir + "/f"), 3);
  EXPECT_EQ(files.size(dir + "/none"), std::nullopt);
}

TEST_F(SystemFiles, WriteNewRefusesEveryExistingName) {
  std::ofstream(dir + "/f") << "abc";
  fs::create_symlink(dir + "/target", dir + "/link");
  EXPECT_FALSE(files.writeNew(dir + "/f", "new"));
  EXPECT_FALSE(files.writeNew(dir + "/link", "new"));
  EXPECT_FALSE(fs::exists(dir + "/target")); // not written through the link either
  EXPECT_FALSE(files.writeNew(dir + "/missing/x", "new"));
  EXPECT_TRUE(files.writeNew(dir + "/g", ""));
  EXPECT_EQ(fs::file_size(dir + "/g"), 0u);
  std::ifstream in(dir + "/f");
  std::string kept;
  in >> kept;
  EXPECT_EQ(kept, "abc");
}

TEST_F(SystemFiles, ParentComponentsFollowTheRealDirectories) {
  fs::create_directories(dir + "/x/y");
  fs::create_directory(dir + "/a");
  fs::create_symlink(dir + "/x/y", dir + "/a/link");
  // Through the link, ".." is x, not a.
  std::string real = fs::canonical(dir).string();
  EXPECT_EQ(files.standardize(dir + "/a/link/../"), real + "/x");
  // A path that does not exist keeps its "..", so it is not taken for another one that does.
  EXPECT_EQ(files.standardize(dir + "/nope/../a"), dir + "/nope/../a");
  EXPECT_EQ(files.standardize(dir + "/a/./"), dir + "/a");
}

} // namespace
} // namespace plenk
