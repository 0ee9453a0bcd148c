// The real plenk-media pick on the desktop session: its picker window over a library made here,
// driven the way a user (or the assistant) would, through what the window tells the
// accessibility bus.
#include "tests/desktop/pick_session.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace plenk {
namespace {

using testing::Finished;
using testing::onlyLine;
using testing::PickLibrary;
using testing::Running;
namespace fs = std::filesystem;

constexpr const char* NOTE_PHOTO_NOT_OPENED =
    "One photograph could not be opened, so it was left out.";
constexpr const char* NOTE_PHOTO_NOT_COPIED =
    "One photograph could not be copied out of Photos, so it was left out.";
constexpr const char* NOTE_VIDEO_NOT_COPIED =
    "One video could not be copied out of Photos, so it was left out.";

// Two photographs (a HEIC, and a JPEG stored sideways and larger than the size bound), a
// second JPEG, a video, and a broken picture and an empty video; newest first in that order.
struct Library : PickLibrary {
  Library() {
    EXPECT_TRUE(testing::picture(pictures + "/harbour.heic", 640, 480, "teal"));
    EXPECT_TRUE(testing::sidewaysJpeg(pictures + "/sideways.jpg", 2000, 1200));
    fs::create_directories(pictures + "/2025");
    EXPECT_TRUE(testing::picture(pictures + "/2025/beach.jpg", 320, 200, "orange"));
    EXPECT_TRUE(testing::clip(videos + "/clip.mov", 1.0));
    testing::writeFile(pictures + "/broken.jpg", "these bytes are no picture");
    testing::writeFile(videos + "/empty.mp4", "");
    const std::pair<std::string, int> ages[] = {
        {pictures + "/harbour.heic", 10}, {pictures + "/sideways.jpg", 20},
        {videos + "/clip.mov", 30},       {pictures + "/2025/beach.jpg", 40},
        {pictures + "/broken.jpg", 50},   {videos + "/empty.mp4", 60}};
    for (const auto& [path, secondsAgo] : ages)
      testing::age(path, secondsAgo);
  }
};

const std::string ALL = "harbour.heic,sideways.jpg,clip.mov,beach.jpg,broken.jpg,empty.mp4";

TEST(PickWindow, ChoosesInOrderUpToTheLimitAndAdds) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  auto probe = testing::runProgram("plenk-media", {"probe"});
  EXPECT_EQ(json::parse(probe.out).value_or(Json())["canPick"], true) << probe.out;

  Running pick(lib, {"pick", "--out", lib.out, "--limit", "3"});
  Json seen = pick.drive({"wait",         ALL,     "windows",   "click", "harbour.heic", "click",
                          "sideways.jpg", "click", "clip.mov",  "text",  "3 of 3",       "tile",
                          "beach.jpg",    "click", "beach.jpg", "tile",  "beach.jpg",    "tile",
                          "sideways.jpg", "press", "Add"});
  Finished done = pick.finish();
  ASSERT_EQ(seen.size(), 5u) << seen;
  EXPECT_EQ(seen[0], Json::array({"Choose from Photos"}));
  EXPECT_EQ(seen[1], "3 of 3 chosen, no more can be added");
  // The limit: a fourth tile cannot be chosen, and clicking it changes nothing.
  for (int i : {2, 3}) {
    EXPECT_EQ(seen[i]["sensitive"], false) << seen[i];
    EXPECT_EQ(seen[i]["checked"], false) << seen[i];
  }
  EXPECT_EQ(seen[4]["checked"], true);
  EXPECT_NE(seen[4]["description"].get<std::string>().find("chosen 2"), std::string::npos)
      << seen[4];

  EXPECT_EQ(done.status, 0) << done.err;
  Json line = onlyLine(done);
  EXPECT_EQ(line["cancelled"], false);
  ASSERT_EQ(line["count"], 3) << line;
  const Json& items = line["items"];
  EXPECT_EQ(items[0]["file"], "photo-001.jpg");
  EXPECT_EQ(items[0]["from"], "heic");
  EXPECT_EQ(items[0]["width"], 640);
  EXPECT_EQ(items[1]["file"], "photo-002.jpg");
  EXPECT_EQ(items[1]["from"], "jpeg");
  // Upright (stored 2000 x 1200, turned by its tag) and within the size bound.
  EXPECT_EQ(items[1]["width"], 840);
  EXPECT_EQ(items[1]["height"], 1400);
  EXPECT_EQ(items[2]["file"], "video-001.mov");
  EXPECT_EQ(items[2]["mime"], "video/quicktime");
  EXPECT_EQ(items[2]["supported"], true);
  EXPECT_EQ(testing::readFile(lib.out + "/video-001.mov"),
            testing::readFile(lib.videos + "/clip.mov"));
  EXPECT_EQ(line["notes"], Json::array());
}

// Every way of leaving without choosing, in every presentation. While the picker is over the
// placeholder window, that window does not close: the picker has to be answered first.
TEST(PickWindow, CancellingAndClosingAnswerCancelled) {
  if (!testing::pickDesktopReady()) return;
  struct Row {
    const char* present;
    std::vector<std::string> steps;
    std::set<std::string> windows;
  };
  const std::set<std::string> one{"Choose from Photos"};
  const std::set<std::string> two{"Plenk", "Choose from Photos"};
  const Row rows[] = {
      {"window", {"press", "Cancel"}, one},
      {"window", {"close", "Choose from Photos"}, one},
      {"window", {"key", "Escape"}, one},
      {"sheet", {"press", "Cancel"}, two},
      {"sheet", {"close", "Plenk", "sleep", "0.5", "windows", "key", "Escape"}, two},
      {"modal", {"close", "Choose from Photos"}, two},
      {"modal", {"close", "Plenk", "sleep", "0.5", "windows", "press", "Cancel"}, two},
  };
  Library lib;
  for (const auto& row : rows) {
    std::vector<std::string> steps{"wait", "harbour.heic", "click", "harbour.heic", "windows"};
    steps.insert(steps.end(), row.steps.begin(), row.steps.end());
    const std::string what = std::string(row.present) + " " + row.steps[0] + " " + row.steps[1];
    Running pick(lib, {"pick", "--out", lib.out, "--present", row.present});
    Json seen = pick.drive(steps);
    Finished done = pick.finish();
    ASSERT_FALSE(seen.empty()) << what;
    for (const auto& windows : seen)
      EXPECT_EQ(std::set<std::string>(windows.begin(), windows.end()), row.windows) << what;
    EXPECT_EQ(done.status, 0) << what << done.err;
    Json line = onlyLine(done);
    EXPECT_EQ(line["cancelled"], true) << what;
    EXPECT_EQ(line["items"], Json::array()) << what;
    EXPECT_TRUE(fs::is_empty(lib.out)) << what;
  }
}

TEST(PickWindow, SheetAndModalAddToo) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  for (const char* present : {"sheet", "modal"}) {
    fs::remove_all(lib.out);
    fs::create_directories(lib.out);
    Running pick(lib, {"pick", "--out", lib.out, "--present", present, "--limit", "1"});
    pick.drive(
        {"wait", "beach.jpg", "click", "harbour.heic", "click", "beach.jpg", "press", "Add"});
    Json line = onlyLine(pick.finish());
    // With a limit of one, a second choice replaces the first.
    ASSERT_EQ(line["count"], 1) << present << line;
    EXPECT_EQ(line["items"][0]["from"], "jpeg") << present;
    EXPECT_EQ(line["items"][0]["width"], 320) << present;
  }
}

TEST(PickWindow, OffersOnlyTheKindsAsked) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  Running videos(lib, {"pick", "--out", lib.out, "--kinds", "videos"});
  Json seen = videos.drive({"wait", "clip.mov", "sleep", "0.5", "tiles", "press", "Cancel"});
  videos.finish();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], Json::array({"clip.mov", "empty.mp4"}));
  Running images(lib, {"pick", "--out", lib.out, "--kinds", "IMAGES"});
  seen = images.drive({"wait", "beach.jpg", "sleep", "0.5", "tiles", "press", "Cancel"});
  images.finish();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], Json::array({"beach.jpg", "broken.jpg", "harbour.heic", "sideways.jpg"}));
}

// Broken items show as such; chosen, each is left out with its note, and the rest still come.
TEST(PickWindow, BrokenAndVanishedItemsAreNotedWhenChosen) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  Running pick(lib, {"pick", "--out", lib.out});
  Json seen = pick.drive({"wait", ALL, "tile", "broken.jpg", "tile", "empty.mp4"});
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_NE(seen[0]["description"].get<std::string>().find("Cannot be shown"), std::string::npos);
  EXPECT_NE(seen[1]["description"].get<std::string>().find("Empty file"), std::string::npos);
  // Gone between showing and choosing.
  fs::remove(lib.pictures + "/2025/beach.jpg");
  pick.drive({"click", "broken.jpg", "click", "empty.mp4", "click", "beach.jpg", "click",
              "harbour.heic", "press", "Add"});
  Finished done = pick.finish();
  EXPECT_EQ(done.status, 0) << done.err;
  Json line = onlyLine(done);
  ASSERT_EQ(line["count"], 1) << line;
  EXPECT_EQ(line["items"][0]["from"], "heic");
  std::multiset<std::string> notes(line["notes"].begin(), line["notes"].end());
  EXPECT_EQ(notes, (std::multiset<std::string>{NOTE_PHOTO_NOT_OPENED, NOTE_VIDEO_NOT_COPIED,
                                               NOTE_PHOTO_NOT_COPIED}));
}

TEST(PickWindow, TheDeadlineEndsAPickerNobodyAnswers) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  Running pick(lib, {"pick", "--out", lib.out, "--deadline", "2500"});
  pick.drive({"wait", "harbour.heic"});
  Finished done = pick.finish();
  EXPECT_EQ(done.status, 5);
  Json line = onlyLine(done);
  EXPECT_EQ(line["code"], "E_DEADLINE");
  EXPECT_EQ(std::count(done.err.begin(), done.err.end(), '\n'), 1) << done.err;
}

TEST(PickWindow, NeverReplacesATakenName) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  testing::writeFile(lib.out + "/photo-001.jpg", "mine");
  Running pick(lib, {"pick", "--out", lib.out});
  pick.drive({"wait", "beach.jpg", "click", "beach.jpg", "press", "Add"});
  Finished done = pick.finish();
  EXPECT_EQ(done.status, 6);
  Json line = onlyLine(done);
  EXPECT_EQ(line["code"], "E_OUT");
  EXPECT_EQ(testing::readFile(lib.out + "/photo-001.jpg"), "mine");
}

} // namespace
} // namespace plenk

namespace plenk {
namespace {

// Browse… opens the desktop's file chooser (GTK's own here: the session runs no portal); a file
// from outside the library joins the choice when it is of the kinds asked for.
TEST(PickWindow, BrowseAddsFilesFromOutsideTheLibrary) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  testing::TempDir outside;
  ASSERT_TRUE(testing::picture(outside / "far.png", 500, 300, "purple"));
  const std::vector<std::string> browse{"press",  "Browse…",
                                        "window", "Choose photographs and videos",
                                        "key",    "ctrl+l",
                                        "sleep",  "0.5",
                                        "type",   outside / "far.png",
                                        "sleep",  "0.5",
                                        "key",    "return",
                                        "sleep",  "1"};
  // Asked for videos only, the picture is refused: only the video chosen afterwards comes.
  struct Row {
    const char* kinds;
    const char* count;
    const char* kind;
  };
  for (const Row& row : {Row{"both", "2 of 2 chosen, no more can be added", "image"},
                         Row{"videos", "1 of 2 chosen", "video"}}) {
    fs::remove_all(lib.out);
    fs::create_directories(lib.out);
    Running pick(lib, {"pick", "--out", lib.out, "--limit", "2", "--kinds", row.kinds});
    std::vector<std::string> steps{"wait", "clip.mov"};
    steps.insert(steps.end(), browse.begin(), browse.end());
    steps.insert(steps.end(), {"click", "clip.mov", "text", row.count, "press", "Add"});
    Json seen = pick.drive(steps);
    Json line = onlyLine(pick.finish());
    ASSERT_EQ(seen.size(), 1u) << row.kinds;
    EXPECT_EQ(seen[0], row.count);
    EXPECT_EQ(line["items"][0]["kind"], row.kind) << line;
    if (std::string(row.kind) == "image") {
      ASSERT_EQ(line["count"], 2) << line;
      EXPECT_EQ(line["items"][0]["from"], "png");
      EXPECT_EQ(line["items"][0]["width"], 500);
      EXPECT_EQ(line["items"][1]["kind"], "video");
    } else {
      EXPECT_EQ(line["count"], 1) << line;
    }
  }
}

} // namespace
} // namespace plenk
