// The real plenk-media pick on the desktop session: its picker window over a library made here,
// driven the way the assistant does, through the real plenk-hands.
#include "tests/desktop/pick_session.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace plenk {
namespace {

using testing::Finished;
using testing::onlyLine;
using testing::PickHands;
using testing::PickLibrary;
using testing::Running;
using testing::Seen;
using testing::windowTitles;
namespace fs = std::filesystem;

constexpr const char* NOTE_PHOTO_NOT_OPENED =
    "One photograph could not be opened, so it was left out.";
constexpr const char* NOTE_PHOTO_NOT_COPIED =
    "One photograph could not be copied, so it was left out.";
constexpr const char* NOTE_VIDEO_NOT_COPIED = "One video could not be copied, so it was left out.";

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

const std::vector<std::string> ALL{"harbour.heic", "sideways.jpg", "clip.mov",
                                   "beach.jpg",    "broken.jpg",   "empty.mp4"};
const std::set<std::string> PICKER_ONLY{"Choose Photos and Videos"};
const std::set<std::string> OVER_PLACEHOLDER{"Plenk", "Choose Photos and Videos"};

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// The listing has ended and exactly these tiles show.
Seen listed(PickHands& hands, const std::vector<std::string>& names) {
  return hands.until(
      "exactly the tiles of " + std::to_string(names.size()) + " files", [&](const Seen& s) {
        return !s.text("Photographs and videos").empty() && s.tiles() == sorted(names);
      });
}

TEST(PickWindow, ChoosesInOrderUpToTheLimitAndAdds) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  auto probe = testing::runProgram("plenk-media", {"probe"});
  EXPECT_EQ(json::parse(probe.out).value_or(Json())["canPick"], true) << probe.out;

  Running pick(lib, {"pick", "--out", lib.out, "--limit", "3"});
  PickHands hands(pick.picker());
  hands.waitTiles(ALL);
  EXPECT_EQ(windowTitles(pick.picker()), PICKER_ONLY);
  for (const char* name : {"harbour.heic", "sideways.jpg", "clip.mov"})
    hands.choose(name);
  Seen full = hands.until("the count at the limit",
                          [](const Seen& s) { return !s.text("3 of 3").empty(); });
  EXPECT_EQ(full.text("3 of 3"), "3 of 3 chosen, no more can be added");
  EXPECT_EQ(full.badge("harbour.heic"), "1");
  EXPECT_EQ(full.badge("sideways.jpg"), "2");
  EXPECT_EQ(full.badge("clip.mov"), "3");
  // The limit: a fourth tile cannot be chosen, and clicking it changes nothing.
  EXPECT_FALSE(full.enabled("beach.jpg")) << full.describe();
  EXPECT_EQ(full.badge("beach.jpg"), "");
  hands.clickTile("beach.jpg");
  // Taken back, a choice leaves the order of the rest; chosen again, it comes last.
  hands.choose("sideways.jpg", false);
  Seen fewer = hands.until("the count below the limit",
                           [](const Seen& s) { return !s.text("2 of 3 chosen").empty(); });
  EXPECT_FALSE(fewer.chosen("beach.jpg")) << fewer.describe();
  EXPECT_TRUE(fewer.enabled("beach.jpg")) << fewer.describe();
  EXPECT_EQ(fewer.badge("clip.mov"), "2");
  Seen again = hands.choose("sideways.jpg");
  EXPECT_EQ(again.badge("sideways.jpg"), "3");
  hands.press("Add");
  Finished done = pick.finish();

  EXPECT_EQ(done.status, 0) << done.err;
  Json line = onlyLine(done);
  EXPECT_EQ(line["cancelled"], false);
  ASSERT_EQ(line["count"], 3) << line;
  const Json& items = line["items"];
  EXPECT_EQ(items[0]["file"], "photo-001.jpg");
  EXPECT_EQ(items[0]["from"], "heic");
  EXPECT_EQ(items[0]["width"], 640);
  EXPECT_EQ(items[1]["file"], "video-001.mov");
  EXPECT_EQ(items[1]["mime"], "video/quicktime");
  EXPECT_EQ(items[1]["supported"], true);
  EXPECT_EQ(testing::readFile(lib.out + "/video-001.mov"),
            testing::readFile(lib.videos + "/clip.mov"));
  EXPECT_EQ(items[2]["file"], "photo-002.jpg");
  EXPECT_EQ(items[2]["from"], "jpeg");
  // Upright (stored 2000 x 1200, turned by its tag) and within the size bound.
  EXPECT_EQ(items[2]["width"], 840);
  EXPECT_EQ(items[2]["height"], 1400);
  EXPECT_EQ(line["notes"], Json::array());
}

// Every way of leaving without choosing, in every presentation. While the picker is over the
// placeholder window, that window does not close: the picker has to be answered first.
TEST(PickWindow, CancellingAndClosingAnswerCancelled) {
  if (!testing::pickDesktopReady()) return;
  using Leave = std::function<void(PickHands&, int pid)>;
  const Leave cancel = [](PickHands& h, int) { h.press("Cancel"); };
  const Leave escape = [](PickHands& h, int) { h.key("escape"); };
  const Leave closePicker = [](PickHands&, int) {
    testing::closeWindow("Choose Photos and Videos");
  };
  // The picker still takes choices after the placeholder was asked to close, and both stay.
  auto closePlaceholderThen = [](Leave then) -> Leave {
    return [then](PickHands& h, int pid) {
      testing::closeWindow("Plenk");
      h.choose("beach.jpg");
      EXPECT_EQ(windowTitles(pid), OVER_PLACEHOLDER);
      then(h, pid);
    };
  };
  struct Row {
    const char* present;
    const char* what;
    Leave leave;
    std::set<std::string> windows;
  };
  const Row rows[] = {
      {"window", "Cancel", cancel, PICKER_ONLY},
      {"window", "close", closePicker, PICKER_ONLY},
      {"window", "Escape", escape, PICKER_ONLY},
      {"sheet", "Cancel", cancel, OVER_PLACEHOLDER},
      {"sheet", "close the placeholder, Escape", closePlaceholderThen(escape), OVER_PLACEHOLDER},
      {"modal", "close", closePicker, OVER_PLACEHOLDER},
      {"modal", "close the placeholder, Cancel", closePlaceholderThen(cancel), OVER_PLACEHOLDER},
  };
  Library lib;
  for (const auto& row : rows) {
    const std::string what = std::string(row.present) + ": " + row.what;
    Running pick(lib, {"pick", "--out", lib.out, "--present", row.present});
    PickHands hands(pick.picker());
    hands.choose("harbour.heic");
    EXPECT_EQ(windowTitles(pick.picker()), row.windows) << what;
    row.leave(hands, pick.picker());
    Finished done = pick.finish();
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
    PickHands hands(pick.picker());
    hands.choose("harbour.heic");
    // With a limit of one, a second choice replaces the first.
    Seen seen = hands.choose("beach.jpg");
    EXPECT_FALSE(seen.chosen("harbour.heic")) << present << seen.describe();
    hands.press("Add");
    Json line = onlyLine(pick.finish());
    ASSERT_EQ(line["count"], 1) << present << line;
    EXPECT_EQ(line["items"][0]["from"], "jpeg") << present;
    EXPECT_EQ(line["items"][0]["width"], 320) << present;
  }
}

TEST(PickWindow, OffersOnlyTheKindsAsked) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  struct Row {
    const char* kinds;
    std::vector<std::string> tiles;
  };
  for (const Row& row :
       {Row{"videos", {"clip.mov", "empty.mp4"}},
        Row{"IMAGES", {"beach.jpg", "broken.jpg", "harbour.heic", "sideways.jpg"}}}) {
    Running pick(lib, {"pick", "--out", lib.out, "--kinds", row.kinds});
    PickHands hands(pick.picker());
    Seen seen = listed(hands, row.tiles);
    EXPECT_EQ(seen.tiles(), row.tiles) << row.kinds;
    hands.press("Cancel");
    EXPECT_EQ(onlyLine(pick.finish())["cancelled"], true) << row.kinds;
  }
}

// Broken items show as such; chosen, each is left out with its note, and the rest still come.
TEST(PickWindow, BrokenAndVanishedItemsAreNotedWhenChosen) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  Running pick(lib, {"pick", "--out", lib.out});
  PickHands hands(pick.picker());
  auto shows = [](const Seen& s, const std::string& name, const std::string& caption) {
    auto over = s.over(name);
    return std::find(over.begin(), over.end(), caption) != over.end();
  };
  Seen seen = hands.until("the broken tiles", [&](const Seen& s) {
    return shows(s, "broken.jpg", "Cannot be shown") && shows(s, "empty.mp4", "Empty file");
  });
  EXPECT_FALSE(shows(seen, "harbour.heic", "Cannot be shown")) << seen.describe();
  // Gone between showing and choosing.
  fs::remove(lib.pictures + "/2025/beach.jpg");
  for (const char* name : {"broken.jpg", "empty.mp4", "beach.jpg", "harbour.heic"})
    hands.choose(name);
  hands.press("Add");
  Finished done = pick.finish();
  EXPECT_EQ(done.status, 0) << done.err;
  Json line = onlyLine(done);
  ASSERT_EQ(line["count"], 1) << line;
  EXPECT_EQ(line["items"][0]["from"], "heic");
  std::multiset<std::string> notes(line["notes"].begin(), line["notes"].end());
  EXPECT_EQ(notes, (std::multiset<std::string>{NOTE_PHOTO_NOT_OPENED, NOTE_VIDEO_NOT_COPIED,
                                               NOTE_PHOTO_NOT_COPIED}));
}

// Files that cannot be read show so and are noted when chosen; a pipe named like a photograph is
// no photograph and never read. As root, plenk-media runs without the capabilities that let
// root read anything, so that file modes hold for it.
TEST(PickWindow, UnreadableFilesAndPipesInTheLibrary) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  ASSERT_TRUE(testing::picture(lib.pictures + "/locked.jpg", 200, 100, "navy"));
  ASSERT_EQ(::chmod((lib.pictures + "/locked.jpg").c_str(), 0), 0);
  ASSERT_EQ(::mkfifo((lib.videos + "/pipe.mov").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo((lib.pictures + "/pipe.jpg").c_str(), 0644), 0);
  testing::age(lib.pictures + "/locked.jpg", 5);
  std::vector<std::string> wrapper;
  if (::geteuid() == 0)
    wrapper = {"/usr/bin/setpriv", "--inh-caps=-dac_override,-dac_read_search",
               "--ambient-caps=-dac_override,-dac_read_search",
               "--bounding-set=-dac_override,-dac_read_search"};
  Running pick(lib, {"pick", "--out", lib.out}, wrapper);
  PickHands hands(pick.picker());
  std::vector<std::string> all = ALL;
  all.push_back("locked.jpg");
  listed(hands, all);
  hands.until("the unreadable tile", [](const Seen& s) {
    auto over = s.over("locked.jpg");
    return std::find(over.begin(), over.end(), "Cannot be read") != over.end();
  });
  hands.choose("locked.jpg");
  hands.choose("beach.jpg");
  hands.press("Add");
  Finished done = pick.finish();
  EXPECT_EQ(done.status, 0) << done.err;
  Json line = onlyLine(done);
  ASSERT_EQ(line["count"], 1) << line;
  EXPECT_EQ(line["items"][0]["width"], 320);
  EXPECT_EQ(line["notes"], Json::array({NOTE_PHOTO_NOT_COPIED}));
}

TEST(PickWindow, TheDeadlineEndsAPickerNobodyAnswers) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  Running pick(lib, {"pick", "--out", lib.out, "--deadline", "2500"});
  PickHands(pick.picker()).waitTiles({"harbour.heic"});
  Finished done = pick.finish();
  EXPECT_EQ(done.status, 5);
  Json line = onlyLine(done);
  EXPECT_EQ(line["code"], "E_DEADLINE");
  EXPECT_EQ(std::count(done.err.begin(), done.err.end(), '\n'), 1) << done.err;
}

// Whatever the display or the toolkit does, a pick ends with one answer: a display that goes away
// (while GTK connects to it or while the picker shows) or a picker that crashes ends it as a
// failure of the work, a display that never answers (the server stopped, so no window ever maps)
// at the deadline. Each on an X server of its own, not the session's.
TEST(PickWindow, EndsWithOneAnswerWhateverTheDisplayDoes) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  enum class Fault { gone, stopped, crashed, goneEarly };
  struct Row {
    const char* what;
    Fault fault;
    int millis; // after the start, for the early loss
  };
  for (const Row row :
       {Row{"display gone", Fault::gone, 0}, Row{"display stopped", Fault::stopped, 0},
        Row{"picker crashed", Fault::crashed, 0}, Row{"display gone at once", Fault::goneEarly, 0},
        Row{"display gone while connecting", Fault::goneEarly, 120},
        Row{"display gone after connecting", Fault::goneEarly, 300}}) {
    // An X server of its own that answers before the fault is made: on a machine that runs other
    // sessions, a fresh server's number was now and then one that a client could not reach.
    std::unique_ptr<desktop::Process> x;
    std::string display;
    for (int attempt = 0; attempt < 3 && display.empty(); ++attempt) {
      x = std::make_unique<desktop::Process>(std::vector<std::string>{
          "/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
      auto number = x->readLine(10000);
      if (number && desktop::shell("xdpyinfo -display :" + *number + " >/dev/null && echo up")
                        .starts_with("up"))
        display = ":" + *number;
    }
    ASSERT_FALSE(display.empty()) << "no X server of the test's own answered";
    if (row.fault == Fault::stopped) x->suspend();
    Running pick(lib, {"pick", "--out", lib.out, "--deadline", "3000"}, {}, {"DISPLAY=" + display});
    if (row.fault == Fault::goneEarly) {
      std::this_thread::sleep_for(std::chrono::milliseconds(row.millis));
      x->end();
    } else if (row.fault != Fault::stopped) {
      EXPECT_TRUE(desktop::waitUntil(
          [&] {
            return desktop::shell("xwininfo -display " + display + " -root -tree")
                       .find("Choose Photos and Videos") != std::string::npos;
          },
          10000))
          << "the picker did not show on " << display;
      if (row.fault == Fault::gone) x->end();
      if (row.fault == Fault::crashed) ::kill(pick.picker(), SIGSEGV);
    }
    Finished done = pick.finish();
    Json line = onlyLine(done);
    if (row.fault == Fault::stopped) {
      EXPECT_EQ(done.status, 5) << row.what << ": " << done.err;
      EXPECT_EQ(line["code"], "E_DEADLINE") << row.what;
    } else {
      // Gone before GTK had the display, the picker cannot be shown at all: E_UNSUPPORTED, also 4.
      EXPECT_EQ(done.status, 4) << row.what << ": " << done.err;
      EXPECT_TRUE(line["code"] == "E_WORK" ||
                  (row.fault == Fault::goneEarly && line["code"] == "E_UNSUPPORTED"))
          << row.what << ": " << line;
    }
    EXPECT_EQ(std::count(done.err.begin(), done.err.end(), '\n'), 1) << row.what << done.err;
    EXPECT_TRUE(done.err.starts_with("plenk-media: ")) << row.what << done.err;
    EXPECT_TRUE(fs::is_empty(lib.out)) << row.what;
  }
}

TEST(PickWindow, NeverReplacesATakenName) {
  if (!testing::pickDesktopReady()) return;
  Library lib;
  testing::writeFile(lib.out + "/photo-001.jpg", "mine");
  Running pick(lib, {"pick", "--out", lib.out});
  PickHands hands(pick.picker());
  hands.choose("beach.jpg");
  hands.press("Add");
  Finished done = pick.finish();
  EXPECT_EQ(done.status, 6);
  Json line = onlyLine(done);
  EXPECT_EQ(line["code"], "E_OUT");
  EXPECT_EQ(testing::readFile(lib.out + "/photo-001.jpg"), "mine");
}

// Browse… opens the desktop's file chooser (GTK's own here: the session runs no portal); a file
// from outside the library joins the choice when it is of the kinds asked for.
TEST(PickWindow, BrowseAddsFilesFromOutsideTheLibrary) {
  if (!testing::pickDesktopReady()) return;
  testing::TempDir outside;
  const std::string far = outside / "far.png";
  ASSERT_TRUE(testing::picture(far, 500, 300, "purple"));
  // Asked for videos only, the picture is refused: only the video chosen afterwards comes.
  struct Row {
    const char* kinds;
    const char* count;
    const char* kind;
  };
  for (const Row& row : {Row{"both", "2 of 2 chosen, no more can be added", "image"},
                         Row{"videos", "1 of 2 chosen", "video"}}) {
    // A library (and list of recent files) of its own: each run is a user who has not browsed
    // before. With the picture among its recent files, GTK's chooser under a videos filter did
    // not take it typed.
    Library lib;
    Running pick(lib, {"pick", "--out", lib.out, "--limit", "2", "--kinds", row.kinds});
    PickHands hands(pick.picker());
    hands.waitTiles({"clip.mov"});
    hands.press("Browse…");
    hands.until("the file chooser",
                [](const Seen& s) { return s.window == "Choose photographs and videos"; });
    // The chooser's location field, by its keyboard shortcut; the path typed into it (keys reach
    // the window in the order sent, so Return comes after the whole path).
    hands.key("ctrl+l");
    auto focusedField = [](const Seen& s) -> const Json* {
      for (const auto& r : s.elements)
        if (r.value("role", "") == "textfield" && r.value("focused", false)) return &r;
      return nullptr;
    };
    hands.until("the location field", [&](const Seen& s) { return focusedField(s); });
    hands.type(far);
    hands.key("return");
    hands.until("the picker again",
                [](const Seen& s) { return s.window == "Choose Photos and Videos"; });
    hands.choose("clip.mov");
    Seen seen = hands.until("the count " + std::string(row.count),
                            [&](const Seen& s) { return s.text(row.count) == row.count; });
    EXPECT_EQ(seen.text(row.count), row.count);
    hands.press("Add");
    Json line = onlyLine(pick.finish());
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
