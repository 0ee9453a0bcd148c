#include "platform/linux/file_types.hpp"
#include "tests/support/pick_library.hpp"

#include <gtest/gtest.h>

namespace plenk {
namespace {

using testing::TempDir;

// Each file is made in its real format, then stored under a name that says nothing: the type
// comes from the content.
TEST(FileTypes, TellsPhotographsAndVideosFromTheirContent) {
  TempDir dir;
  struct Row {
    const char* made;
    const char* type;
  };
  const Row rows[] = {
      {"a.jpg", "image/jpeg"},       {"a.png", "image/png"},   {"a.gif", "image/gif"},
      {"a.tiff", "image/tiff"},      {"a.webp", "image/webp"}, {"a.heic", "image/heic"},
      {"a.mov", "video/quicktime"},  {"a.mp4", "video/mp4"},   {"a.m4v", "video/x-m4v"},
      {"a.mkv", "video/x-matroska"}, {"a.webm", "video/webm"}, {"a.avi", "video/x-msvideo"},
  };
  auto types = linuxFileTypes();
  for (const auto& row : rows) {
    std::string made = dir / row.made;
    bool video = std::string(row.type).starts_with("video/");
    ASSERT_TRUE(video ? testing::clip(made, 0.5) : testing::picture(made)) << row.made;
    std::string hidden = dir / (std::string(row.made) + ".bin");
    std::filesystem::rename(made, hidden);
    EXPECT_EQ(typeOfFile(hidden).value_or("none"), row.type) << row.made;
    auto type = types->type(row.type);
    ASSERT_TRUE(type) << row.type;
    EXPECT_EQ(types->conforms(*type, types->movie()), video) << row.type;
    EXPECT_EQ(types->conforms(*type, types->image()), !video) << row.type;
  }
}

TEST(FileTypes, KnowsTheirConformanceAndExtensions) {
  auto types = linuxFileTypes();
  struct Row {
    const char* type;
    const char* to;
    bool conforms;
  };
  const Row rows[] = {
      {"image/heic", "image/heif", true},      {"image/heic", TYPE_IMAGE, true},
      {"video/x-m4v", "video/mp4", true},      {"video/quicktime", TYPE_MOVIE, true},
      {"video/quicktime", "video/mp4", false}, {"video/webm", TYPE_MOVIE, true},
      {TYPE_IMAGE, "image/jpeg", false},       {"audio/mp4", TYPE_MOVIE, false},
      {"text/plain", TYPE_IMAGE, false},       {"image/png", "image/png", true},
  };
  for (const auto& row : rows)
    EXPECT_EQ(types->conforms(*types->type(row.type), *types->type(row.to)), row.conforms)
        << row.type << " to " << row.to;
  EXPECT_EQ(types->jpeg().preferredExtension, "jpeg");
  EXPECT_EQ(types->type("video/quicktime")->preferredExtension, "mov");
  EXPECT_EQ(types->type("video/x-m4v")->preferredExtension, "m4v");
  EXPECT_FALSE(types->movie().preferredExtension);
  EXPECT_FALSE(types->type("image/x-unknown"));
  EXPECT_EQ(typeFromExtension("JPG"), "image/jpeg");
  EXPECT_EQ(typeFromExtension("MOV"), "video/quicktime");
  EXPECT_FALSE(typeFromExtension(""));
}

TEST(FileTypes, ShortStrangeAndEmptyHeadsAreNoType) {
  for (std::string_view head :
       {std::string_view(""), std::string_view("\xFF\xD8"), std::string_view("hello, world"),
        std::string_view("\0\0\0\0ftyp", 8)})
    EXPECT_FALSE(typeFromContent(head)) << head;
  // A QuickTime movie that starts straight with its atoms, and an M4A that is sound only.
  EXPECT_EQ(typeFromContent(std::string_view("\0\0\0\x08wide\0\0\0\x10mdat", 16)),
            "video/quicktime");
  EXPECT_EQ(typeFromContent(std::string_view("\0\0\0\x18"
                                             "ftypM4A \0\0\0\0M4A isom",
                                             24)),
            "audio/mp4");
  EXPECT_FALSE(typeOfFile("/no/such/file"));
}

} // namespace
} // namespace plenk
