// The pick verb end to end: plenk-media-pick-test runs the real verb over a scripted in-memory
// picker with this machine's real files, pictures and recordings, in a process of its own.
#include "platform/json.hpp"
#include "tests/run_program.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sstream>

namespace plenk {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

void sh(const std::string& command) {
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  Json line; // the one stdout line, parsed (null when there was not exactly one)
};

// A fresh output directory and temporary folder per run; fixtures are made once.
class Pick : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    std::string pattern = (fs::temp_directory_path() / "plenk-pick-fixtures.XXXXXX").string();
    fixtures = mkdtemp(pattern.data());
    auto f = [](const char* name) { return quote((fixtures / name).string()); };
    sh("/usr/bin/convert -size 640x480 gradient:yellow-green " + f("small.jpg"));
    sh("/usr/bin/convert -size 300x200 xc:red " + f("shape.png") + " && /usr/bin/convert " +
       f("shape.png") + " " + f("photo.heic"));
    sh("ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=10:duration=1 -f lavfi -i "
       "sine=duration=1 -c:v mpeg4 -c:a aac -shortest " +
       f("clip.mov"));
    sh("ffmpeg -v error -i " + f("clip.mov") + " -c copy -f mp4 " + f("clip.m4v"));
    sh("ffmpeg -v error -f lavfi -i sine=duration=1 -c:a aac " + f("sound.m4a"));
    std::ofstream(fixtures / "junk.jpg") << "this is not a picture";
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(fixtures, ec);
  }

  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "plenk-pick-test.XXXXXX").string();
    root = mkdtemp(pattern.data());
    out = root / "out";
    temp = root / "tmp";
    fs::create_directory(out);
    fs::create_directory(temp);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  static std::string fixture(const char* name) { return (fixtures / name).string(); }

  static Json item(std::vector<std::string> types, Json files, std::optional<int> rank = {}) {
    Json i = {{"types", types}, {"files", files}};
    if (rank) i["rank"] = *rank;
    return i;
  }
  static Json photo(const char* file = "small.jpg", std::optional<int> rank = {}) {
    return item({"public.jpeg"}, {{"public.jpeg", fixture(file)}}, rank);
  }
  static Json video(const char* file = "clip.mov", std::optional<int> rank = {}) {
    return item({"com.apple.quicktime-movie"}, {{"com.apple.quicktime-movie", fixture(file)}},
                rank);
  }

  // Runs `pick --out <out> --nonce n1` plus the extra arguments, over the script.
  Outcome pick(Json script, const std::vector<std::string>& extra = {}, bool withOut = true) {
    script["tempDir"] = temp.string();
    script["shownTo"] = (root / "shown.json").string();
    std::ofstream(root / "script.json") << script.dump();
    std::vector<std::string> args = {(root / "script.json").string(), "pick", "--nonce", "n1"};
    if (withOut) args.insert(args.end(), {"--out", out.string()});
    args.insert(args.end(), extra.begin(), extra.end());
    auto done = testing::runProgram("plenk-media-pick-test", args);
    Outcome o{done.status, done.out, done.err, nullptr};
    // Exactly one line: one line feed, at the end.
    if (o.out.ends_with('\n') && o.out.find('\n') == o.out.size() - 1) {
      if (auto parsed = json::parse(o.out)) o.line = *parsed;
    }
    return o;
  }

  std::optional<Json> shown() {
    if (!fs::exists(root / "shown.json")) return std::nullopt;
    return json::parse(readFile(root / "shown.json"));
  }

  // The pixel size of a picture file, by ImageMagick.
  static std::pair<int, int> sizeOf(const fs::path& path) {
    std::string cmd = "/usr/bin/identify -format '%w %h' " + quote(path.string()) + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    int w = 0, h = 0;
    if (p) {
      if (fscanf(p, "%d %d", &w, &h) != 2) w = h = 0;
      pclose(p);
    }
    return {w, h};
  }

  // The colour of one pixel as ImageMagick names it ("srgb(254,0,1)").
  static std::array<int, 3> pixel(const fs::path& path, int x, int y) {
    std::string cmd = "/usr/bin/convert " + quote(path.string()) + " -format '%[fx:int(255*p{" +
                      std::to_string(x) + "," + std::to_string(y) + "}.r)] %[fx:int(255*p{" +
                      std::to_string(x) + "," + std::to_string(y) + "}.g)] %[fx:int(255*p{" +
                      std::to_string(x) + "," + std::to_string(y) + "}.b)]' info:";
    FILE* p = popen(cmd.c_str(), "r");
    std::array<int, 3> rgb{-1, -1, -1};
    if (p) {
      if (fscanf(p, "%d %d %d", &rgb[0], &rgb[1], &rgb[2]) != 3) rgb = {-1, -1, -1};
      pclose(p);
    }
    return rgb;
  }

  static inline fs::path fixtures;
  fs::path root, out, temp;
};

Json answer(bool cancelled, Json items, Json notes) {
  auto count = items.size();
  return {{"helper", "plenk-media"}, {"protocol", 1}, {"version", "1.0.0"},     {"nonce", "n1"},
          {"verb", "pick"},          {"ok", true},    {"cancelled", cancelled}, {"items", items},
          {"notes", notes},          {"count", count}};
}

Json failure(const char* code, const std::string& message) {
  return {{"helper", "plenk-media"}, {"protocol", 1}, {"version", "1.0.0"}, {"nonce", "n1"},
          {"verb", "pick"},          {"ok", false},   {"code", code},       {"message", message}};
}

const char* NEITHER =
    "One of the things chosen is neither a photograph nor a video, so it was left out.";

TEST_F(Pick, OptionsAreCheckedInOrderBeforeAnythingIsShown) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool withOut;
    int status;
    const char* code;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"no --out",
       {"--limit", "x", "--kinds", "x"},
       false,
       2,
       "E_USAGE",
       "--out <directory> is required for this verb"},
      {"--out missing",
       {"--out", "/nonexistent/dir", "--limit", "x"},
       false,
       6,
       "E_OUT",
       "the path given to --out is not a directory that exists"},
      {"--limit",
       {"--limit", "1.5", "--kinds", "x", "--present", "x"},
       true,
       2,
       "E_USAGE",
       "--limit must be a whole number"},
      {"--kinds",
       {"--kinds", "photos", "--present", "x"},
       true,
       2,
       "E_USAGE",
       "--kinds must be images, videos or both"},
      {"--present",
       {"--kinds", "both", "--present", "dialog"},
       true,
       2,
       "E_USAGE",
       "--present must be window, sheet or modal"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto o = pick({{"ending", "cancel"}}, c.args, c.withOut);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.line, failure(c.code, c.message));
    EXPECT_EQ(o.err, "plenk-media: " + c.message + "\n");
    EXPECT_FALSE(shown()) << "the picker was shown before every option was checked";
  }
}

TEST_F(Pick, ConfigurationFollowsTheOptions) {
  struct Case {
    std::vector<std::string> args;
    Json shown;
  };
  const std::vector<Case> cases = {
      {{},
       {{"limit", 8},
        {"filter", "imagesAndVideos"},
        {"ordered", true},
        {"presentation", "window"},
        {"title", "Choose from Photos"}}},
      {{"--kinds", "VIDEOS", "--present", "Sheet", "--limit", "50"},
       {{"limit", 20},
        {"filter", "videos"},
        {"ordered", true},
        {"presentation", "sheet"},
        {"title", "Plenk"}}},
      {{"--kinds", "images", "--present", "modal", "--limit", "0"},
       {{"limit", 1},
        {"filter", "images"},
        {"ordered", false},
        {"presentation", "modal"},
        {"title", "Plenk"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Json(c.args).dump());
    auto o = pick({{"ending", "cancel"}}, c.args);
    EXPECT_EQ(o.status, 0);
    auto s = shown();
    ASSERT_TRUE(s);
    Json expected = c.shown;
    expected["representation"] = "current";
    expected["width"] = 900.0;
    expected["height"] = 640.0;
    EXPECT_EQ(*s, expected);
  }
}

TEST_F(Pick, CancelCloseAndNothingUsable) {
  const Json none = Json::array();
  struct Case {
    const char* name;
    Json script;
    Json line;
  };
  const std::vector<Case> cases = {
      {"cancel", {{"ending", "cancel"}}, answer(true, none, none)},
      {"close before choosing",
       {{"ending", "close"}, {"items", {photo()}}},
       answer(true, none, none)},
      {"only neither",
       {{"items",
         {item({"com.adobe.pdf"}, {{"com.adobe.pdf", fixture("junk.jpg")}}),
          item({"public.audio"}, {{"public.audio", fixture("sound.m4a")}})}}},
       answer(false, none, {NEITHER, NEITHER})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto o = pick(c.script);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.line, c.line);
    EXPECT_EQ(o.err, "");
    EXPECT_TRUE(fs::is_empty(out));
  }
}

TEST_F(Pick, PhotographVideoPhotographInPickOrder) {
  // The video is the slowest; closing the window meanwhile changes nothing.
  auto o = pick({{"items", {photo("small.jpg", 0), video("clip.mov", 5), photo("small.jpg", 1)}},
                 {"closeAfterAnswer", true}});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  Json photoRecord = {{"kind", "image"}, {"mime", "image/jpeg"}, {"width", 640},
                      {"height", 480},   {"from", "jpeg"},       {"maxEdge", 1400}};
  Json first = photoRecord, second = photoRecord;
  first["file"] = "photo-001.jpg";
  first["bytes"] = fs::file_size(out / "photo-001.jpg");
  second["file"] = "photo-002.jpg";
  second["bytes"] = fs::file_size(out / "photo-002.jpg");
  ASSERT_TRUE(o.line.is_object()) << o.out;
  Json items = o.line["items"];
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0], first);
  EXPECT_EQ(items[2], second);
  const Json& v = items[1];
  EXPECT_EQ(v["file"], "video-001.mov");
  EXPECT_EQ(v["kind"], "video");
  EXPECT_EQ(v["mime"], "video/quicktime");
  EXPECT_EQ(v["supported"], true);
  EXPECT_EQ(v["width"], 320);
  EXPECT_EQ(v["height"], 240);
  EXPECT_EQ(v["audioTracks"], 1);
  EXPECT_NEAR(v["duration"].get<double>(), 1.0, 0.1);
  EXPECT_EQ(v["bytes"], fs::file_size(fixture("clip.mov")));
  EXPECT_EQ(readFile(out / "video-001.mov"), readFile(fixture("clip.mov")));
  EXPECT_EQ(sizeOf(out / "photo-001.jpg"), std::make_pair(640, 480));
  EXPECT_EQ(o.line["count"], 3);
  EXPECT_EQ(o.line["cancelled"], false);
  EXPECT_EQ(o.line["notes"], Json::array());
  // Only the file of the handler that ended the process (it never returned) may remain.
  auto left = std::distance(fs::directory_iterator(temp), fs::directory_iterator());
  EXPECT_LE(left, 1) << "a temporary file outlived its handler";
}

TEST_F(Pick, OneFailedCopyOfThreeLeavesANote) {
  struct Case {
    const char* name;
    Json failing;
    const char* note;
    // Names are given when the answer is sorted, so a failed video still used up its number.
    const char* videoFile;
  };
  const std::vector<Case> cases = {
      {"photograph not handed over", item({"public.jpeg"}, Json::object()),
       "One photograph could not be copied out of Photos, so it was left out.", "video-001.mov"},
      {"video not handed over", item({"public.mpeg-4"}, Json::object()),
       "One video could not be copied out of Photos, so it was left out.", "video-002.mov"},
      {"photograph that is no picture", photo("junk.jpg"),
       "One photograph could not be opened, so it was left out.", "video-001.mov"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(out);
    fs::create_directory(out);
    auto o = pick({{"items", {photo(), c.failing, video()}}});
    EXPECT_EQ(o.status, 0);
    ASSERT_TRUE(o.line.is_object()) << o.out;
    EXPECT_EQ(o.line["count"], 2);
    EXPECT_EQ(o.line["notes"], Json{c.note});
    EXPECT_EQ(o.line["items"][0]["file"], "photo-001.jpg");
    EXPECT_EQ(o.line["items"][1]["file"], c.videoFile);
  }
}

TEST_F(Pick, ATakenNameEndsTheRunWithoutItems) {
  struct Case {
    const char* taken;
    Json items;
  };
  const std::vector<Case> cases = {{"photo-001.jpg", {video(), photo()}},
                                   {"video-001.mov", {photo(), video()}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.taken);
    fs::remove_all(out);
    fs::create_directory(out);
    std::ofstream(out / c.taken) << "mine";
    auto o = pick({{"items", c.items}});
    EXPECT_EQ(o.status, 6);
    std::string message = std::string("the directory given to --out holds a file called ") +
                          c.taken + "; nothing was written";
    EXPECT_EQ(o.line, failure("E_OUT", message));
    EXPECT_EQ(o.err, "plenk-media: " + message + "\n");
    EXPECT_EQ(readFile(out / c.taken), "mine");
  }
}

TEST_F(Pick, TypeChoices) {
  Json webm = {{"id", "org.example.webm"}, {"ext", "webm"}, {"parents", {"public.movie"}}};
  // JPEG is loaded even when HEIC comes first: the HEIC representation here is no picture.
  auto o =
      pick({{"types", {webm}},
            {"items",
             {item({"public.heic", "public.jpeg"},
                   {{"public.heic", fixture("junk.jpg")}, {"public.jpeg", fixture("small.jpg")}}),
              item({"org.example.webm"}, {{"org.example.webm", fixture("clip.mov")}}),
              item({"com.apple.m4v-video"}, {{"com.apple.m4v-video", fixture("clip.m4v")}})}}});
  ASSERT_EQ(o.status, 0) << o.err;
  ASSERT_EQ(o.line["count"], 3) << o.out;
  const Json& items = o.line["items"];
  EXPECT_EQ(items[0]["file"], "photo-001.jpg");
  EXPECT_EQ(items[0]["from"], "heic");
  EXPECT_EQ(items[1]["file"], "video-001.mov");
  EXPECT_EQ(items[1]["mime"], "video/quicktime");
  EXPECT_EQ(items[1]["supported"], true);
  EXPECT_EQ(items[2]["file"], "video-002.m4v");
  EXPECT_EQ(items[2]["mime"], "video/mp4");
  EXPECT_EQ(items[2]["supported"], true);
  EXPECT_EQ(readFile(out / "video-002.m4v"), readFile(fixture("clip.m4v")));
}

TEST_F(Pick, VideoFactsWithoutPictureOrLength) {
  auto o = pick(
      {{"items",
        {item({"com.apple.quicktime-movie"}, {{"com.apple.quicktime-movie", fixture("sound.m4a")}}),
         item({"public.mpeg-4"}, {{"public.mpeg-4", fixture("junk.jpg")}})}}});
  ASSERT_EQ(o.status, 0) << o.err;
  ASSERT_EQ(o.line["count"], 2) << o.out;
  const Json& sound = o.line["items"][0];
  EXPECT_EQ(sound["width"], 0);
  EXPECT_EQ(sound["height"], 0);
  EXPECT_EQ(sound["audioTracks"], 1);
  EXPECT_NEAR(sound["duration"].get<double>(), 1.0, 0.1);
  const Json& junk = o.line["items"][1];
  EXPECT_EQ(junk["file"], "video-002.mp4");
  EXPECT_EQ(junk["mime"], "video/mp4");
  EXPECT_EQ(junk["duration"], nullptr);
  EXPECT_EQ(junk["width"], 0);
  EXPECT_EQ(junk["audioTracks"], 0);
  EXPECT_EQ(junk["bytes"], fs::file_size(fixture("junk.jpg")));
}

// Exif APP1 segment with only an orientation tag, put right after the JPEG's start marker.
void tagOrientation(const fs::path& jpeg, int orientation) {
  std::string bytes = readFile(jpeg);
  std::string app1 = std::string("\xFF\xE1\x00\x22"
                                 "Exif\0\0"
                                 "MM\0\x2A\0\0\0\x08"
                                 "\0\x01"
                                 "\x01\x12\0\x03\0\0\0\x01\0",
                                 29) +
                     std::string(1, static_cast<char>(orientation)) +
                     std::string("\0\0\0\0\0\0", 6);
  std::ofstream(jpeg, std::ios::binary) << bytes.substr(0, 2) + app1 + bytes.substr(2);
}

TEST_F(Pick, LargeTurnedPhotographComesOutUprightWithin1400) {
  // Stored 3000 by 2000 with red on the left and blue on the right; orientation 6 turns it a
  // quarter clockwise, so upright it is 2000 by 3000 with red on top.
  fs::path big = root / "turned.jpg";
  sh("/usr/bin/convert -size 1500x2000 xc:red -size 1500x2000 xc:blue +append -quality 95 " +
     quote(big.string()));
  tagOrientation(big, 6);
  auto o = pick({{"items", {item({"public.jpeg"}, {{"public.jpeg", big.string()}})}}});
  ASSERT_EQ(o.status, 0) << o.err;
  ASSERT_EQ(o.line["count"], 1) << o.out;
  const Json& r = o.line["items"][0];
  EXPECT_EQ(r["height"], 1400);
  EXPECT_NEAR(r["width"].get<int>(), 933, 1);
  EXPECT_EQ(sizeOf(out / "photo-001.jpg"),
            std::make_pair(r["width"].get<int>(), r["height"].get<int>()));
  auto top = pixel(out / "photo-001.jpg", 466, 200);
  auto bottom = pixel(out / "photo-001.jpg", 466, 1200);
  EXPECT_GT(top[0], 200);
  EXPECT_LT(top[2], 60);
  EXPECT_GT(bottom[2], 200);
  EXPECT_LT(bottom[0], 60);
}

TEST_F(Pick, NoisyPhotographIsSqueezedIntoItsBudget) {
  fs::path noisy = root / "noisy.png";
  sh("/usr/bin/convert -size 1400x1000 xc:gray +noise Random " + quote(noisy.string()));
  auto o = pick({{"items", {item({"public.png"}, {{"public.png", noisy.string()}})}}});
  ASSERT_EQ(o.status, 0) << o.err;
  ASSERT_EQ(o.line["count"], 1) << o.out;
  const Json& r = o.line["items"][0];
  EXPECT_EQ(r["from"], "png");
  EXPECT_LE(r["bytes"].get<std::int64_t>(), 900000);
  EXPECT_EQ(r["bytes"], fs::file_size(out / "photo-001.jpg"));
  EXPECT_EQ(sizeOf(out / "photo-001.jpg"),
            std::make_pair(r["width"].get<int>(), r["height"].get<int>()));
}

TEST_F(Pick, HeicPhotograph) {
  auto o = pick({{"items", {item({"public.heic"}, {{"public.heic", fixture("photo.heic")}})}}});
  ASSERT_EQ(o.status, 0) << o.err;
  ASSERT_EQ(o.line["count"], 1) << o.out;
  const Json& r = o.line["items"][0];
  EXPECT_EQ(r["from"], "heic");
  EXPECT_EQ(r["width"], 300);
  EXPECT_EQ(r["height"], 200);
  EXPECT_EQ(sizeOf(out / "photo-001.jpg"), std::make_pair(300, 200));
}

TEST_F(Pick, TheDeadlineEndsAPickerThatNeverAnswers) {
  auto o = pick({{"ending", "never"}, {"deadline", "now"}});
  EXPECT_EQ(o.status, 5);
  EXPECT_EQ(o.line, failure("E_DEADLINE", "macOS did not finish this within 120000 ms"));
  EXPECT_EQ(o.err, "plenk-media: the deadline of 120000 ms passed before the work finished\n");
}

// Many items whose loads all go at once, in random order, sometimes racing the deadline or a
// taken name: whatever wins, exactly one line and the status that goes with it.
TEST_F(Pick, ManyLoadsAtOnceAlwaysGiveOneLine) {
  std::mt19937 random(7);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    fs::remove_all(out);
    fs::create_directory(out);
    Json items = Json::array();
    int handedOver = 0;
    for (int i = 0; i < 20; ++i) {
      int rank = static_cast<int>(random() % 20);
      if (random() % 6 == 0)
        items.push_back(item({"public.jpeg"}, Json::object(), rank));
      else {
        ++handedOver;
        items.push_back(random() % 2 ? photo("small.jpg", rank) : video("clip.m4v", rank));
      }
    }
    bool deadline = round % 3 == 1;
    bool taken = round % 3 == 2;
    if (taken) std::ofstream(out / "photo-002.jpg") << "mine";
    auto o = pick({{"items", items}, {"timing", "together"}, {"deadline", deadline ? "now" : ""}},
                  {"--limit", "20"});
    ASSERT_TRUE(o.line.is_object()) << "not exactly one line: " << o.out;
    std::set<int> allowed = {0};
    if (deadline) allowed.insert(5);
    if (taken) allowed.insert(6);
    EXPECT_TRUE(allowed.count(o.status)) << o.status << " " << o.out;
    if (o.status == 0) {
      EXPECT_EQ(o.err, "");
      EXPECT_EQ(o.line["count"].get<int>() + static_cast<int>(o.line["notes"].size()), 20);
      EXPECT_EQ(o.line["count"].get<int>(), handedOver);
    } else {
      EXPECT_EQ(o.line["ok"], false);
      EXPECT_FALSE(o.line.contains("items"));
      EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    }
  }
}

TEST(PickOnLinux, WithoutADisplayIsNotSupported) {
  const std::vector<std::string> noDisplay{"DISPLAY=", "WAYLAND_DISPLAY="};
  auto done = testing::runProgram("plenk-media", {"pick", "--out", "/nonexistent", "--kinds", "x"},
                                  noDisplay);
  EXPECT_EQ(done.status, 4);
  auto line = json::parse(done.out);
  ASSERT_TRUE(line) << done.out;
  EXPECT_EQ((*line)["code"], "E_UNSUPPORTED");
  EXPECT_EQ((*line)["message"],
            "choosing photographs and videos needs a display to show the picker on");
  auto probe = json::parse(testing::runProgram("plenk-media", {"probe"}, noDisplay).out);
  ASSERT_TRUE(probe);
  EXPECT_EQ((*probe)["canPick"], false);
}

} // namespace
} // namespace plenk
