// plenk-hands-sim as a host sees it: plenk-hands over the desktop of a scene file.
#include "pipes.hpp"
#include "platform/json.hpp"
#include "tests/support/paths.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace plenk {
namespace {

namespace fs = std::filesystem;
using testing::Conversation;
using testing::converse;
using testing::splitLines;

const std::string SIM = testing::binDir() + "/plenk-hands-sim";
const std::string READY = "plenk-hands: ready (protocol 1, version 1.0.0)\n";

struct SimTest : ::testing::Test {
  fs::path dir;

  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "plenk-sim-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(tmpl.data()));
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string scene(const std::string& name, const std::string& text) {
    fs::path path = dir / name;
    std::ofstream(path) << text;
    return path.string();
  }

  static std::vector<Json> answers(const Conversation& c) {
    EXPECT_FALSE(c.timedOut);
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.err, READY);
    std::vector<Json> out;
    for (const auto& line : splitLines(c.out))
      out.push_back(json::parse(line).value_or(Json()));
    return out;
  }
};

TEST_F(SimTest, AnswersFollowTheScenesPermissions) {
  struct Case {
    const char* permissions;
    bool accessibility, screen;
    bool accessibilityGranted, screenGranted;
  };
  const Case cases[] = {
      {R"({})", false, false, false, false},
      {R"({"accessibility": true})", true, false, true, false},
      {R"({"screen": true})", false, true, false, true},
      {R"({"accessibility_prompt_grants": true, "screen_prompt_grants": true})", false, false, true,
       true},
  };
  const std::string conversation = R"({"id":1,"verb":"probe"}
{"id":2,"verb":"request","args":{"what":"accessibility"}}
{"id":3,"verb":"request","args":{"what":"screen"}}
{"id":4,"verb":"probe"}
)";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.permissions);
    auto path = scene("perm.json", std::string(R"({"permissions": )") + c.permissions + "}");
    auto a = answers(converse({SIM, path}, conversation));
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0]["result"]["accessibility"], c.accessibility);
    EXPECT_EQ(a[0]["result"]["screen"], c.screen);
    EXPECT_EQ(a[0]["result"]["helper"], "plenk-hands");
    EXPECT_EQ(a[1],
              (Json{{"id", 2}, {"ok", true}, {"result", {{"granted", c.accessibilityGranted}}}}));
    EXPECT_EQ(a[2], (Json{{"id", 3}, {"ok", true}, {"result", {{"granted", c.screenGranted}}}}));
    // What a prompt granted holds for the rest of the session.
    EXPECT_EQ(a[3]["result"]["accessibility"], c.accessibilityGranted);
    EXPECT_EQ(a[3]["result"]["screen"], c.screenGranted);
  }
}

TEST_F(SimTest, RefusesABadSceneBeforeStarting) {
  auto bad = scene("bad.json", R"({"apps": [{"pid": 1, "tree": {"children": [
    {}, {}, {}, {"role": "AXButton", "AXSize": [80]}]}}]})");
  struct Case {
    std::vector<std::string> argv;
    std::string err;
  };
  const Case cases[] = {
      {{SIM, bad},
       "plenk-hands-sim: " + bad + ": apps[0].tree.children[3].AXSize: expected [width, height]\n"},
      {{SIM, (dir / "missing.json").string()},
       "plenk-hands-sim: " + (dir / "missing.json").string() + ": cannot read the scene file\n"},
      {{SIM}, "plenk-hands-sim: usage: plenk-hands-sim SCENE.json [--events FILE]\n"},
      {{SIM, bad, "--colour"},
       "plenk-hands-sim: usage: plenk-hands-sim SCENE.json [--events FILE]\n"},
      {{SIM, scene("ok.json", "{}"), "--events", (dir / "no/such/folder.jsonl").string()},
       "plenk-hands-sim: cannot write the event log " + (dir / "no/such/folder.jsonl").string() +
           "\n"},
  };
  for (const auto& c : cases) {
    auto run = converse(c.argv, "{\"id\":1,\"verb\":\"probe\"}\n");
    EXPECT_EQ(run.status, 2) << c.err;
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(SimTest, EventLogIsCreatedWhereTheSceneOrTheOptionSays) {
  // A relative name starts in the scene's folder, not in the working directory.
  auto path = scene("log.json", R"({"event_log": "events.jsonl"})");
  answers(converse({SIM, path}, "{\"id\":1,\"verb\":\"probe\"}\n"));
  EXPECT_TRUE(fs::exists(dir / "events.jsonl"));
  EXPECT_EQ(fs::file_size(dir / "events.jsonl"), 0u); // probing posts nothing

  auto other = (dir / "other.jsonl").string();
  answers(converse({SIM, path, "--events", other}, "{\"id\":1,\"verb\":\"probe\"}\n"));
  EXPECT_TRUE(fs::exists(other));
}

TEST_F(SimTest, TheDemoSceneLoads) {
  auto a = answers(converse({SIM, testing::sourceDir() + "/demo/scenes/desk.json"},
                            "{\"id\":\"d\",\"verb\":\"probe\"}\n"));
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0]["id"], "d");
  EXPECT_EQ(a[0]["result"]["accessibility"], false);
  EXPECT_EQ(a[0]["result"]["verbs"].size(), 14u);
}

} // namespace
} // namespace plenk
