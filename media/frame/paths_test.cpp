#include "media/frame/answer.hpp"
#include "media/frame/paths.hpp"
#include "media/frame/test_media.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace plenk::media {
namespace {

namespace fs = std::filesystem;

struct Paths : ::testing::Test {
  void SetUp() override {
    char tmpl[] = "/tmp/plenk-paths-XXXXXX";
    ASSERT_TRUE(::mkdtemp(tmpl));
    dir = tmpl;
  }
  void TearDown() override {
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir);
  }
  void put(const std::string& name, const std::string& bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
  }
  std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // The failure a call raises, as code and message; nothing when it returned.
  template <class F> std::optional<std::pair<Code, std::string>> failure(F&& call) {
    try {
      call();
    } catch (const MediaError& e) {
      return std::pair{e.code, e.message};
    }
    return std::nullopt;
  }

  TestMedia t;
  std::string dir;
};

TEST_F(Paths, InputChecksInTheirOrder) {
  put("a.pdf", "x");
  ::mkfifo((dir + "/pipe").c_str(), 0644);
  fs::create_directory(dir + "/sub");
  const std::string none = "there is no readable file at the path given to --in";
  struct Case {
    Options opts;
    std::optional<std::pair<Code, std::string>> expected;
  };
  const Case cases[] = {
      {{}, std::pair{Code::Usage, "--in <file> is required for this verb"}},
      {{{"--in", ""}}, std::pair{Code::Usage, "--in <file> is required for this verb"}},
      {{{"--in", dir + "/missing"}}, std::pair{Code::Input, none}},
      {{{"--in", dir + "/sub"}}, std::pair{Code::Input, none}},
      {{{"--in", dir + "/pipe"}}, std::pair{Code::Input, none}},
      {{{"--in", dir + "/a.pdf"}}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.opts.empty() ? "(none)" : c.opts.begin()->second);
    EXPECT_EQ(failure([&] { inputURL(t.media, c.opts); }), c.expected);
  }
  EXPECT_EQ(inputURL(t.media, {{"--in", dir + "/a.pdf"}}), dir + "/a.pdf");
}

TEST_F(Paths, AnUnreadableInputIsReportedAsSuch) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  put("locked.pdf", "x");
  fs::permissions(dir + "/locked.pdf", fs::perms::none);
  EXPECT_EQ(
      failure([&] {
        inputURL(t.media, {{"--in", dir + "/locked.pdf"}});
      }),
      std::pair(Code::Input, std::string("the file given to --in cannot be read by this user")));
}

TEST_F(Paths, OutputDirectoryChecksAndStandardForm) {
  put("file", "x");
  fs::create_directory(dir + "/out");
  const std::string notDir = "the path given to --out is not a directory that exists";
  EXPECT_EQ(failure([&] { outDir(t.media, {}); }),
            std::pair(Code::Usage, std::string("--out <directory> is required for this verb")));
  EXPECT_EQ(failure([&] {
              outDir(t.media, {{"--out", ""}});
            }),
            std::pair(Code::Usage, std::string("--out <directory> is required for this verb")));
  EXPECT_EQ(failure([&] {
              outDir(t.media, {{"--out", dir + "/file"}});
            }),
            std::pair(Code::Out, notDir));
  EXPECT_EQ(failure([&] {
              outDir(t.media, {{"--out", dir + "/made"}});
            }),
            std::pair(Code::Out, notDir));
  EXPECT_FALSE(fs::exists(dir + "/made"));
  EXPECT_EQ(outDir(t.media, {{"--out", dir + "//./out/"}}), dir + "/out");
  EXPECT_EQ(outDir(t.media, {{"--out", dir + "/out/../out/."}}), dir + "/out");
}

TEST_F(Paths, AnUnwritableDirectoryIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes everywhere";
  fs::create_directory(dir + "/ro");
  fs::permissions(dir + "/ro", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(failure([&] {
              outDir(t.media, {{"--out", dir + "/ro"}});
            }),
            std::pair(Code::Out, std::string("the directory given to --out cannot be written to")));
}

TEST_F(Paths, ATakenNameIsNeverReplaced) {
  put("text.txt", "old");
  fs::create_directory(dir + "/frame-001.jpg");
  fs::create_symlink(dir + "/nowhere", dir + "/dangling.m4a");
  for (std::string name : {"text.txt", "frame-001.jpg", "dangling.m4a"}) {
    EXPECT_EQ(failure([&] { outFile(t.media, dir, name); }),
              std::pair(Code::Out, "the directory given to --out holds a file called " + name +
                                       "; nothing was written"));
  }
  EXPECT_EQ(read(dir + "/text.txt"), "old");
  EXPECT_FALSE(fs::exists(dir + "/nowhere"));
}

TEST_F(Paths, AFileThatAppearsAfterTheLookIsNotReplaced) {
  std::string path = outFile(t.media, dir, "audio.m4a");
  EXPECT_EQ(path, dir + "/audio.m4a");
  put("audio.m4a", "someone else's");
  EXPECT_EQ(failure([&] { writeOut(t.media, "ours", path, "the sound of that recording"); }),
            std::pair(Code::Out, std::string("the sound of that recording could not be written "
                                             "into the directory given to --out")));
  EXPECT_EQ(read(path), "someone else's");
  // A dangling link is a taken name too, and the write leaves no temporary behind.
  fs::create_symlink(dir + "/nowhere", dir + "/text.txt");
  EXPECT_TRUE(failure([&] { writeOut(t.media, "ours", dir + "/text.txt", "the text"); }));
  EXPECT_FALSE(fs::exists(dir + "/nowhere"));
  EXPECT_EQ(fs::read_symlink(dir + "/text.txt"), dir + "/nowhere");
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"audio.m4a", "text.txt"}));
}

TEST_F(Paths, TheEndOfTheRunRemovesWhatIsStillBeingWritten) {
  // A verb that is writing when the deadline (or any other end) comes: the half-written
  // temporary goes, and nothing is written any more once the answer is out.
  auto temporary = holdTemporary(t.media, dir + "/frame-001.jpg");
  ASSERT_TRUE(temporary);
  EXPECT_TRUE(temporary->starts_with(dir + "/.frame-001.jpg."));
  put(fs::path(*temporary).filename().string(), "half a frame");
  stop(t.media, MediaError(Code::Deadline, "late"));
  EXPECT_TRUE(fs::is_empty(dir));
  EXPECT_FALSE(holdTemporary(t.media, dir + "/frame-002.jpg"));
  EXPECT_TRUE(failure([&] { writeOut(t.media, "late", dir + "/frame-002.jpg", "a frame"); }));
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(Paths, WriteOutWritesEveryByteAndFileSizeReadsIt) {
  std::string bytes(300000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 7);
  std::string path = outFile(t.media, dir, "frame-002.png");
  writeOut(t.media, bytes, path, "a frame of that recording");
  EXPECT_EQ(read(path), bytes);
  EXPECT_EQ(fileSize(t.media, path), 300000);
  EXPECT_EQ(fileSize(t.media, dir + "/missing"), 0);
  EXPECT_EQ(outFile(t.media, "/", "x"), "/x");
}

TEST(Pad3, PadsToThreeDigits) {
  EXPECT_EQ(pad3(0), "000");
  EXPECT_EQ(pad3(7), "007");
  EXPECT_EQ(pad3(12), "012");
  EXPECT_EQ(pad3(999), "999");
  EXPECT_EQ(pad3(1234), "1234");
}

TEST(SafeExtension, OnlyShortAsciiLettersAndDigits) {
  struct Case {
    std::optional<std::string_view> in;
    std::optional<std::string> out;
  };
  const Case cases[] = {
      {"JPEG", "jpeg"},      {"mp4", "mp4"},    {"heics", "heics"}, {"M4V", "m4v"},
      {"tar.gz", {}},        {"", {}},          {"toolong", {}},    {"m4v ", {}},
      {"mp-4", {}},          {"j\xC3\xA9", {}}, {"\xD9\xA1", {}},   {std::nullopt, {}},
      {"\xE2\x84\xAA", "k"}, // the Kelvin sign lowers to an ASCII letter
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in.value_or("(nothing)"));
    EXPECT_EQ(safeExtension(c.in), c.out);
  }
}

} // namespace
} // namespace plenk::media
