#include "media/pick/item_types.hpp"
#include "platform/memory/picker.hpp"

#include <gtest/gtest.h>

namespace plenk::media {
namespace {

// An item registered as the given types; conformance as the type registry says.
struct Item final : ItemProvider {
  Item(FileTypes& types, std::vector<std::string> ids) : types(types), ids(std::move(ids)) {}
  std::vector<std::string> registeredTypeIdentifiers() override { return ids; }
  bool hasItemConformingTo(const std::string& id) override {
    auto to = types.type(id);
    for (const auto& own : ids) {
      auto type = types.type(own);
      if (own == id || (type && to && types.conforms(*type, *to))) return true;
    }
    return false;
  }
  void loadFileRepresentation(const std::string&, FileHandler) override {}
  FileTypes& types;
  std::vector<std::string> ids;
};

MemoryFileTypes typesWithOddOnes() {
  MemoryFileTypes types;
  types.add("org.example.shouty-movie", "MOV", {"public.movie"});
  types.add("org.example.dotted-image", "tar.gz", {"public.image"});
  types.add("org.example.long-image", "toolong", {"public.image"});
  types.add("org.example.webm", "webm", {"public.movie"});
  return types;
}

TEST(PickItemTypes, PhotographChoices) {
  struct Case {
    std::vector<std::string> ids;
    const char* typeId;
    const char* kind;
  };
  const std::vector<Case> cases = {
      // JPEG wins even when another type is listed first; "from" still tells the stored format.
      {{"public.heic", "public.jpeg"}, "public.jpeg", "heic"},
      {{"org.example.unknown", "public.png"}, "public.png", "png"},
      {{"public.tiff", "public.heic"}, "public.tiff", "tiff"},
      // Extensions that are not safe in a file name are passed over.
      {{"org.example.dotted-image", "org.example.long-image", "public.heic"},
       "org.example.dotted-image",
       "heic"},
      {{"org.example.long-image"}, "org.example.long-image", "image"},
      {{"org.example.unknown"}, "public.image", "image"},
      {{"public.movie", "com.adobe.pdf"}, "public.image", "image"},
  };
  auto types = typesWithOddOnes();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ids.front());
    Item item(types, c.ids);
    EXPECT_EQ(imageTypeIdentifier(types, item), c.typeId);
    EXPECT_EQ(imageKind(types, item), c.kind);
  }
}

TEST(PickItemTypes, VideoChoicesAndNames) {
  struct Case {
    std::vector<std::string> ids;
    const char* typeId;
    const char* name;
  };
  const std::vector<Case> cases = {
      {{"com.apple.quicktime-movie"}, "com.apple.quicktime-movie", "video-001.mov"},
      {{"public.avi", "com.apple.m4v-video"}, "com.apple.m4v-video", "video-001.m4v"},
      {{"public.jpeg", "public.mpeg-4"}, "public.mpeg-4", "video-001.mp4"},
      {{"org.example.shouty-movie"}, "org.example.shouty-movie", "video-001.mov"},
      // Offered only in types outside mov, mp4 and m4v: the generic movie, named "mov".
      {{"org.example.webm"}, "public.movie", "video-001.mov"},
      {{"org.example.unknown-movie"}, "public.movie", "video-001.mov"},
  };
  auto types = typesWithOddOnes();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ids.back());
    Item item(types, c.ids);
    std::string typeId = movieTypeIdentifier(types, item);
    EXPECT_EQ(typeId, c.typeId);
    EXPECT_EQ(videoName(types, typeId, 1), c.name);
  }
}

TEST(PickItemTypes, GenericMovieWithItsOwnExtension) {
  MemoryFileTypes types;
  types.add("public.movie", "QT", {"public.audiovisual-content"});
  EXPECT_EQ(videoName(types, "public.movie", 2), "video-002.qt");
  types.add("public.movie", "q.t", {"public.audiovisual-content"});
  EXPECT_EQ(videoName(types, "public.movie", 2), "video-002.mov");
}

TEST(PickItemTypes, Numbering) {
  EXPECT_EQ(photoName(1), "photo-001.jpg");
  EXPECT_EQ(photoName(42), "photo-042.jpg");
  EXPECT_EQ(photoName(1234), "photo-1234.jpg");
  MemoryFileTypes types;
  EXPECT_EQ(videoName(types, "public.mpeg-4", 20), "video-020.mp4");
}

} // namespace
} // namespace plenk::media
