// The input verbs as a host sees them: plenk-hands-sim over a login form, with the event log the
// simulated desktop writes.
#include "pipes.hpp"
#include "platform/json.hpp"
#include "tests/support/paths.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace plenk {
namespace {

namespace fs = std::filesystem;
using testing::converse;
using testing::splitLines;

const std::string SIM = testing::binDir() + "/plenk-hands-sim";
const std::string LOGIN_SCENE = testing::sourceDir() + "/tests/scenes/input.json";

struct TempDir {
  fs::path path;
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "plenk-input-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path); }
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(path / name) << text;
    return (path / name).string();
  }
};

std::vector<Json> readLines(const std::string& text) {
  std::vector<Json> out;
  for (const auto& line : splitLines(text)) {
    auto value = json::parse(line);
    EXPECT_TRUE(value && value->is_object()) << line;
    out.push_back(value ? *value : Json());
  }
  return out;
}

// Runs one conversation over a scene; the answers, and the events the desktop recorded.
struct Session {
  std::vector<Json> answers;
  std::vector<Json> events;
};

Session run(const std::string& scene, const std::vector<Json>& requests) {
  TempDir dir;
  std::string log = (dir.path / "events.jsonl").string();
  std::string input;
  for (const auto& r : requests)
    input += r.dump() + "\n";
  auto c = converse({SIM, scene, "--events", log}, input);
  EXPECT_FALSE(c.timedOut);
  EXPECT_EQ(c.status, 0) << c.err;
  std::ifstream in(log);
  std::stringstream events;
  events << in.rdbuf();
  return {readLines(c.out), readLines(events.str())};
}

Json ok(int id) {
  return {{"id", id}, {"ok", true}, {"result", Json::object()}};
}
Json failed(int id, const char* code, const char* error) {
  return {{"id", id}, {"ok", false}, {"code", code}, {"error", error}};
}
Json request(int id, const char* verb, Json args) {
  return {{"id", id}, {"verb", verb}, {"args", std::move(args)}};
}

// The events as short lines: "t kind detail".
std::vector<std::string> brief(const std::vector<Json>& events) {
  std::vector<std::string> out;
  for (const auto& e : events) {
    std::string line = std::to_string(e["t_ms"].get<double>()).substr(0, 5) + " ";
    if (e["kind"] == "mouse")
      line += e["type"].get<std::string>() + " click=" + std::to_string(e["click"].get<int>());
    else if (e["kind"] == "key")
      line += "key " + std::to_string(e["code"].get<int>()) +
              (e["down"] == true ? " down" : " up") +
              (e.contains("text") ? " " + e["text"].get<std::string>() : "");
    else
      line +=
          "scroll " + std::to_string(e["dy"].get<int>()) + "," + std::to_string(e["dx"].get<int>());
    out.push_back(line);
  }
  return out;
}

TEST(InputProcess, EachVerbAndEachRefusalOverALoginForm) {
  const std::vector<Json> requests = {
      request(1, "click", {{"x", 60}, {"y", 412}}),
      request(2, "click", {{"x", 60}, {"y", 412}, {"count", 2}, {"button", "right"}}),
      request(3, "click", {{"y", 1}, {"button", "middle"}, {"count", 3}}),
      request(4, "click", {{"x", 1e6}, {"y", 1}}),
      request(5, "click", {{"x", 1}, {"y", 1}, {"button", "middle"}, {"count", 3}}),
      request(6, "click", {{"x", 1}, {"y", 1}, {"count", 3}}),
      request(7, "key", {{"key", "cmd+s"}}),
      request(8, "key", {{"key", ""}}),
      request(9, "key", {{"key", "Foo+Bar"}}),
      request(10, "key", {{"key", "hyper+s"}}),
      request(11, "scroll", {{"dy", 2.5}, {"x", 100}, {"y", 200}}),
      request(12, "scroll", {{"dx", 201}}),
      request(13, "scroll", {{"dy", 0.4}}),
      request(14, "scroll", {{"dy", 3}, {"x", 100}}),
      request(15, "type", {{"text", "hello"}}),
      request(16, "type", {{"text", 42}}),
      request(17, "type", {{"text", std::string(10001, 'a')}}),
      // The Return moves the focus into the password field.
      request(18, "type", {{"text", "alice\nhunter2"}}),
      request(19, "type", {{"text", "again"}}),
  };
  auto s = run(LOGIN_SCENE, requests);
  const std::vector<Json> expected = {
      ok(1),
      ok(2),
      failed(3, "bad_args", "x and y must be numbers."),
      failed(4, "bad_args", "That point is nowhere on any screen."),
      failed(5, "bad_args", "button is left or right."),
      failed(6, "bad_args", "count is 1 or 2."),
      ok(7),
      failed(8, "bad_key", "key must be a short string like cmd+s."),
      failed(9, "bad_key", "There is no key called Foo+Bar."),
      failed(10, "bad_key", "hyper is not a modifier (cmd, shift, alt, ctrl)."),
      ok(11),
      failed(12, "bad_args", "That is too far to scroll in one go."),
      failed(13, "bad_args", "scroll needs dx or dy."),
      failed(14, "bad_args", "x and y must be numbers."),
      ok(15),
      failed(16, "bad_args", "text must be a non-empty string."),
      failed(17, "bad_args", "That is too much text to type in one go."),
      failed(18, "secure_field",
             "The cursor moved into a password field, so Vantle stopped typing."),
      failed(19, "secure_field",
             "The cursor is in a password field, and Vantle never types into one."),
  };
  EXPECT_EQ(s.answers, expected);

  // Times are the desktop's virtual clock: only the pauses move it.
  EXPECT_EQ(brief(s.events), (std::vector<std::string>{
                                 "0.000 moved click=0",
                                 "40.00 leftDown click=1",
                                 "65.00 leftUp click=1",
                                 "65.00 moved click=0",
                                 "105.0 rightDown click=1",
                                 "130.0 rightUp click=1",
                                 "190.0 rightDown click=2",
                                 "215.0 rightUp click=2",
                                 "215.0 key 1 down",
                                 "230.0 key 1 up",
                                 "230.0 moved click=0",
                                 "260.0 scroll 3,0",
                                 "260.0 key 0 down hello",
                                 "268.0 key 0 up hello",
                                 "280.0 key 0 down alice",
                                 "288.0 key 0 up alice",
                                 "300.0 key 36 down",
                                 "315.0 key 36 up",
                             }));
  ASSERT_EQ(s.events.size(), 18u);
  // What each event reached, and the modifier of the chord.
  EXPECT_EQ(s.events[1]["target"], "user AXTextField \"User name\"");
  EXPECT_EQ(s.events[8]["flags"], 1048576);
  EXPECT_EQ(s.events[11]["target"], "list AXList");
  EXPECT_EQ(s.events[12]["target"], "user AXTextField \"User name\"");
}

TEST(InputProcess, WithoutAccessibilityNothingIsPosted) {
  TempDir dir;
  std::string scene = dir.write("untrusted.json", "{}");
  auto s = run(scene, {request(1, "click", {}), request(2, "key", {}), request(3, "scroll", {}),
                       request(4, "type", {})});
  const char* message = "Accessibility is not allowed for Plenk AI in System Settings.";
  EXPECT_EQ(s.answers, (std::vector<Json>{failed(1, "no_permission", message),
                                          failed(2, "no_permission", message),
                                          failed(3, "no_permission", message),
                                          failed(4, "no_permission", message)}));
  EXPECT_TRUE(s.events.empty());
}

TEST(InputProcess, EventsTheSystemWillNotMakeAreHelperFailures) {
  TempDir dir;
  std::string scene = dir.write(
      "refusing.json", R"({"permissions": {"accessibility": true}, "input": {"refuse_after": 0}})");
  auto s = run(scene, {request(1, "click", {{"x", 1}, {"y", 2}}), request(2, "key", {{"key", "a"}}),
                       request(3, "scroll", {{"dy", 1}}), request(4, "type", {{"text", "hi"}})});
  EXPECT_EQ(s.answers,
            (std::vector<Json>{failed(1, "helper_failed", "macOS would not create the click."),
                               failed(2, "helper_failed", "macOS would not create the key press."),
                               failed(3, "helper_failed", "macOS would not create the scroll."),
                               failed(4, "helper_failed", "macOS would not create the typing.")}));
  EXPECT_TRUE(s.events.empty());
}

} // namespace
} // namespace plenk
