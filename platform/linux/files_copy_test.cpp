#include "platform/files.hpp"
#include "tests/support/fixtures.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace plenk {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDir;

TEST(FilesCopyNew, CopiesEveryByteIntoANewFile) {
  TempDir dir;
  std::string bytes(3 * 1024 * 1024 + 17, '\0');
  std::mt19937 random(1);
  for (auto& c : bytes)
    c = static_cast<char>(random());
  std::ofstream(dir.path / "from.bin", std::ios::binary) << bytes;
  std::ofstream(dir.path / "empty.bin", std::ios::binary);
  Files& files = systemFiles();
  ASSERT_TRUE(files.copyNew((dir.path / "from.bin").string(), (dir.path / "to.bin").string()));
  EXPECT_EQ(readFile(dir.path / "to.bin"), bytes);
  ASSERT_TRUE(files.copyNew((dir.path / "empty.bin").string(), (dir.path / "e.bin").string()));
  EXPECT_EQ(fs::file_size(dir.path / "e.bin"), 0u);
}

TEST(FilesCopyNew, NeverReplacesAndFailsWithoutASource) {
  TempDir dir;
  std::ofstream(dir.path / "from.bin") << "new";
  std::ofstream(dir.path / "taken.bin") << "old";
  fs::create_directory(dir.path / "folder");
  fs::create_symlink(dir.path / "nowhere", dir.path / "dangling");
  Files& files = systemFiles();
  std::string from = (dir.path / "from.bin").string();
  EXPECT_FALSE(files.copyNew(from, (dir.path / "taken.bin").string()));
  EXPECT_EQ(readFile(dir.path / "taken.bin"), "old");
  EXPECT_FALSE(files.copyNew(from, (dir.path / "folder").string()));
  EXPECT_FALSE(files.copyNew(from, (dir.path / "dangling").string()));
  EXPECT_FALSE(fs::exists(dir.path / "nowhere"));
  EXPECT_FALSE(files.copyNew((dir.path / "missing").string(), (dir.path / "to.bin").string()));
  EXPECT_FALSE(fs::exists(dir.path / "to.bin"));
  EXPECT_FALSE(files.copyNew((dir.path / "folder").string(), (dir.path / "to2.bin").string()));
}

} // namespace
} // namespace plenk
