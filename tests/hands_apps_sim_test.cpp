// The application verbs as a host sees them: plenk-hands-sim over tests/scenes/apps.json.
#include "pipes.hpp"
#include "platform/json.hpp"
#include "tests/support/paths.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>

namespace plenk {
namespace {

using testing::Child;
using testing::splitLines;

const std::string SIM = testing::binDir() + "/plenk-hands-sim";
const std::string SCENE = testing::sourceDir() + "/tests/scenes/apps.json";

Json ok(const Json& result) {
  return {{"ok", true}, {"result", result}};
}
Json failed(const char* code, const std::string& error) {
  return {{"ok", false}, {"code", code}, {"error", error}};
}
Json record(const char* name, const char* bundleId, int pid) {
  return {{"name", name}, {"bundle_id", bundleId}, {"pid", pid}};
}

// Answers in the order written, without their ids, and the position of each id.
struct Answers {
  std::vector<Json> lines;
  std::map<int, Json> byId;
  std::map<int, std::size_t> position;
  explicit Answers(const std::string& out) {
    for (const auto& line : splitLines(out)) {
      Json answer = json::parse(line).value_or(Json());
      int id = answer.value("id", -1);
      position[id] = lines.size();
      answer.erase("id");
      byId[id] = answer;
      lines.push_back(answer);
    }
  }
};

TEST(HandsAppsSim, OneConversationOverTheFourVerbs) {
  const std::string NAME_AN_APP = "Name an app, like Keynote or com.apple.iWork.Keynote.";
  const std::string NOT_RUNNING = "That app is not running.";
  Child child({SIM, SCENE});
  ASSERT_TRUE(child.started());
  const std::string first = R"({"id":1,"verb":"resolve_app","args":{"name":" keynote.APP "}}
{"id":2,"verb":"resolve_app","args":{"name":"com.example.Editor"}}
{"id":3,"verb":"resolve_app","args":{"name":"editor"}}
{"id":4,"verb":"resolve_app","args":{"name":"Bare"}}
{"id":5,"verb":"resolve_app","args":{"name":"/Applications/Keynote.app"}}
{"id":6,"verb":"resolve_app","args":{"name":"Nope"}}
{"id":7,"verb":"list_apps"}
{"id":8,"verb":"open_app","args":{"name":"Keynote"}}
{"id":9,"verb":"probe"}
{"id":10,"verb":"open_app","args":{"name":"bare"}}
{"id":11,"verb":"open_app","args":{"name":"com.example.Ghost"}}
{"id":12,"verb":"open_app","args":{}}
{"id":13,"verb":"open_app","args":{"name":"Pages"}}
{"id":14,"verb":"activate","args":{"pid":501}}
{"id":15,"verb":"activate","args":{"pid":503.9}}
{"id":16,"verb":"activate","args":{"pid":0}}
{"id":17,"verb":"activate","args":{"pid":"501"}}
{"id":18,"verb":"activate","args":{"pid":4242}}
)";
  ASSERT_TRUE(child.pump(
      first, false, [&] { return splitLines(child.out).size() >= 18; }, 60000))
      << child.out;
  const std::string second = R"({"id":19,"verb":"activate","args":{"pid":700}}
{"id":20,"verb":"list_apps"}
)";
  ASSERT_TRUE(child.pump(
      second, true, [&] { return child.outputsClosed(); }, 60000));
  EXPECT_EQ(child.wait(60000), 0);

  Answers a(child.out);
  ASSERT_EQ(a.lines.size(), 20u) << child.out;
  EXPECT_EQ(a.byId[1], ok({{"app", record("Keynote", "com.apple.iWork.Keynote", 0)}}));
  EXPECT_EQ(a.byId[2], ok({{"app", record("Editor Pro", "com.example.Editor", 0)}}));
  EXPECT_EQ(a.byId[3], ok({{"app", record("Editor Pro", "com.example.Editor", 0)}}));
  EXPECT_EQ(a.byId[4], ok({{"app", record("Bare", "", 0)}}));
  EXPECT_EQ(a.byId[5], failed("bad_args", NAME_AN_APP));
  EXPECT_EQ(a.byId[6], failed("not_found", "There is no app called Nope on this Mac."));
  EXPECT_EQ(a.byId[7], ok(Json::parse(R"({
    "running": [{"name": "Editor", "bundle_id": "com.example.Editor"},
                {"name": "Mail", "bundle_id": "com.apple.mail"}],
    "installed": ["Editor Pro", "Ghost", "Keynote", "Zoom", "calendar", "Mail", "Maps", "Bare"]})")));
  // Keynote takes 400 ms to open: the probe behind it is answered first.
  EXPECT_EQ(a.byId[8], ok({{"app", record("Keynote", "com.apple.iWork.Keynote", 700)}}));
  EXPECT_EQ(a.byId[9]["result"]["helper"], "plenk-hands");
  EXPECT_LT(a.position[9], a.position[8]);
  EXPECT_EQ(a.byId[10], failed("helper_failed", "Bare did not open: The application is damaged."));
  EXPECT_EQ(a.byId[11], failed("helper_failed", "Ghost did not open: macOS did not open it."));
  EXPECT_EQ(a.byId[12], failed("bad_args", NAME_AN_APP));
  EXPECT_EQ(a.byId[13], failed("not_found", "There is no app called Pages on this Mac."));
  EXPECT_EQ(a.byId[14], ok({{"activated", true}}));
  EXPECT_EQ(a.byId[15], ok({{"activated", false}}));
  for (int id : {16, 17, 18})
    EXPECT_EQ(a.byId[id], failed("bad_args", NOT_RUNNING)) << id;
  // Opened, Keynote runs now.
  EXPECT_EQ(a.byId[19], ok({{"activated", true}}));
  EXPECT_EQ(a.byId[20]["result"]["running"].back(),
            (Json{{"name", "Keynote"}, {"bundle_id", "com.apple.iWork.Keynote"}}));
}

// A host that closes its end right after open_app still gets the answer that comes later.
TEST(HandsAppsSim, AnOpenAnsweredAfterTheEndOfInputIsStillWritten) {
  Child child({SIM, SCENE});
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(child.pump(R"({"id":1,"verb":"open_app","args":{"name":"Keynote"}})"
                         "\n",
                         true, [&] { return child.outputsClosed(); }, 60000));
  EXPECT_EQ(child.wait(60000), 0);
  Answers a(child.out);
  ASSERT_EQ(a.lines.size(), 1u) << child.out;
  EXPECT_EQ(a.byId[1], ok({{"app", record("Keynote", "com.apple.iWork.Keynote", 700)}}));
}

} // namespace
} // namespace plenk
