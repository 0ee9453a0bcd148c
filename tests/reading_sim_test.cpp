// Screen reading as the host sees it: one conversation with plenk-hands-sim over a scene with an
// editor, a Chromium browser whose page fills after it is woken, and a slow application whose
// reads move the desktop's clock on (bringing the browser, and later nothing, to the front).
#include "pipes.hpp"
#include "platform/json.hpp"
#include "tests/support/paths.hpp"

#include <gtest/gtest.h>

namespace plenk {
namespace {

const std::string SIM = testing::binDir() + "/plenk-hands-sim";
const std::string SCENE = testing::sourceDir() + "/tests/scenes/reading.json";

struct Exchange {
  std::string request;
  std::string answer; // the whole answer line, compared as JSON
};

std::string failure(int id, const std::string& code, const std::string& error) {
  return R"({"id":)" + std::to_string(id) + R"(,"ok":false,"code":")" + code + R"(","error":")" +
         error + R"("})";
}

const std::string NO_PERMISSION = "Accessibility is not allowed for Plenk AI in System Settings.";
const std::string NO_FRONT_APP = "macOS did not say which app is in front.";
const std::string EDITOR = R"({"name":"Editor","bundle_id":"com.example.Editor","pid":501})";
const std::string CHROME = R"({"name":"Google Chrome","bundle_id":"com.google.Chrome","pid":601})";
const std::string CLOCK = R"({"name":"Clock","bundle_id":"com.example.Clock","pid":700})";

std::string record(const std::string& role, const std::string& label, int x, int y, int w, int h,
                   const std::string& more = "") {
  return R"({"role":")" + role + R"(","label":")" + label + R"(","x":)" + std::to_string(x) +
         R"(,"y":)" + std::to_string(y) + R"(,"w":)" + std::to_string(w) + R"(,"h":)" +
         std::to_string(h) + R"(,"enabled":true)" + more + "}";
}

std::string text(const std::string& label, int x, int y, int w, int h) {
  return record("statictext", label, x, y, w, h, R"(,"value":")" + label + R"(")");
}

TEST(ReadingSim, OneConversationCoversEachVerbsAnswersAndFailures) {
  const std::string menuBar = record("menubaritem", "Apple", 10, 0, 30, 24) + "," +
                              record("menubaritem", "File", 40, 0, 40, 24) + "," +
                              record("menubaritem", "Edit", 80, 0, 40, 24);
  const std::string editorElements =
      menuBar + "," + record("button", "Save", 10, 30, 80, 24) + "," +
      R"({"role":"button","label":"Share","x":100,"y":30,"w":80,"h":24,"enabled":false},)" +
      record("textfield", "Name", 80, 70, 200, 24, R"(,"value":"Ann","focused":true)") + "," +
      record("textfield", "Password", 80, 100, 200, 24, R"(,"secure":true)") + "," +
      record("checkbox", "Remember me", 80, 130, 140, 20, R"(,"value":"1")") + "," +
      record("link", "Privacy policy", 10, 300, 120, 18) + "," + text("Name", 10, 70, 60, 20) +
      "," + text("Notes", 10, 170, 300, 30) + "," + text("Milk and bread", 10, 210, 300, 20) + "," +
      text("Milk and bread", 10, 230, 300, 20) + "," + text("Call the bank", 10, 250, 300, 20);

  const std::vector<Exchange> conversation = {
      // Not trusted yet: frontmost still answers from the workspace; the others refuse.
      {R"({"id":1,"verb":"frontmost"})",
       R"({"id":1,"ok":true,"result":{"app":)" + EDITOR + R"(,"window":""}})"},
      {R"({"id":2,"verb":"app_at","args":{}})", failure(2, "no_permission", NO_PERMISSION)},
      {R"({"id":3,"verb":"elements"})", failure(3, "no_permission", NO_PERMISSION)},
      {R"({"id":4,"verb":"read_text","args":{"max_chars":5}})",
       failure(4, "no_permission", NO_PERMISSION)},
      {R"({"id":5,"verb":"request","args":{"what":"accessibility"}})",
       R"({"id":5,"ok":true,"result":{"granted":true}})"},
      {R"({"id":6,"verb":"frontmost"})",
       R"({"id":6,"ok":true,"result":{"app":)" + EDITOR + R"(,"window":"Quarterly report"}})"},
      // app_at: argument failures, a password field, and the two platform failures.
      {R"({"id":7,"verb":"app_at","args":{"x":"12","y":1}})",
       failure(7, "bad_args", "x and y must be numbers.")},
      {R"({"id":8,"verb":"app_at","args":{"x":100000.5,"y":0}})",
       failure(8, "bad_args", "That point is nowhere on any screen.")},
      {R"({"id":9,"verb":"app_at","args":{"x":150,"y":110}})",
       R"({"id":9,"ok":true,"result":{"app":)" + EDITOR +
           R"(,"role":"AXTextField","secure":true}})"},
      {R"({"id":10,"verb":"app_at","args":{"x":5,"y":5}})",
       failure(10, "helper_failed", "macOS did not say what is at that point.")},
      {R"({"id":11,"verb":"app_at","args":{"x":605,"y":605}})",
       failure(11, "helper_failed", "macOS did not say which app owns that point.")},
      // elements: cut to max, then the whole window (the open menu and the text outside the
      // window are left out; the password field shows no value).
      {R"({"id":12,"verb":"elements","args":{"max":4}})",
       R"({"id":12,"ok":true,"result":{"app":)" + EDITOR +
           R"(,"window":"Quarterly report","elements":[)" + menuBar + "," +
           record("button", "Save", 10, 30, 80, 24) + R"(],"truncated":false}})"},
      {R"({"id":13,"verb":"elements","args":{}})",
       R"({"id":13,"ok":true,"result":{"app":)" + EDITOR +
           R"(,"window":"Quarterly report","elements":[)" + editorElements +
           R"(],"truncated":false}})"},
      // read_text: cut by characters, then the whole window without the password or repeats.
      {R"({"id":14,"verb":"read_text","args":{"max_chars":20}})",
       R"({"id":14,"ok":true,"result":{"text":"Name\nAnn\nNotes\nMilk ","truncated":true}})"},
      {R"({"id":15,"verb":"read_text"})",
       R"({"id":15,"ok":true,"result":{"text":"Name\nAnn\nNotes\nMilk and bread\nCall the bank\nPrivacy policy","truncated":false}})"},
      // Fifteen seconds of slow reads: the browser comes to the front meanwhile.
      {R"({"id":16,"verb":"app_at","args":{"x":1,"y":1}})",
       R"({"id":16,"ok":true,"result":{"app":)" + CLOCK + R"(,"role":"AXImage","secure":false}})"},
      {R"({"id":17,"verb":"frontmost"})",
       R"({"id":17,"ok":true,"result":{"app":)" + CHROME + R"(,"window":"Welcome"}})"},
      // The browser is woken, and its page waited for until it fills.
      {R"({"id":18,"verb":"elements"})",
       R"({"id":18,"ok":true,"result":{"app":)" + CHROME + R"(,"window":"Welcome","elements":[)" +
           record("link", "Track it", 20, 180, 80, 20) + "," +
           text("Your order has shipped.", 20, 150, 600, 20) + R"(],"truncated":false}})"},
      {R"({"id":19,"verb":"read_text"})",
       R"({"id":19,"ok":true,"result":{"text":"Welcome back\nYour order has shipped.\nTrack it","truncated":false}})"},
      // Fifteen more seconds: now nothing is in front.
      {R"({"id":20,"verb":"app_at","args":{"x":1,"y":1}})",
       R"({"id":20,"ok":true,"result":{"app":)" + CLOCK + R"(,"role":"AXImage","secure":false}})"},
      {R"({"id":21,"verb":"frontmost"})", failure(21, "helper_failed", NO_FRONT_APP)},
      {R"({"id":22,"verb":"elements"})", failure(22, "helper_failed", NO_FRONT_APP)},
      {R"({"id":23,"verb":"read_text"})", failure(23, "helper_failed", NO_FRONT_APP)},
  };

  std::string input;
  for (const auto& e : conversation)
    input += e.request + "\n";
  auto c = testing::converse({SIM, SCENE}, input);
  EXPECT_FALSE(c.timedOut);
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.err, "plenk-hands: ready (protocol 1, version 1.0.0)\n");
  auto lines = testing::splitLines(c.out);
  ASSERT_EQ(lines.size(), conversation.size()) << c.out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(conversation[i].request);
    auto expected = json::parse(conversation[i].answer);
    ASSERT_TRUE(expected) << "bad expectation: " << conversation[i].answer;
    EXPECT_EQ(json::parse(lines[i]), *expected) << lines[i];
  }
}

} // namespace
} // namespace plenk
