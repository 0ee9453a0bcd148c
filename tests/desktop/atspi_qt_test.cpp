// Qt applications from Debian through the real plenk-hands: every verb reads them and they live
// on; what was typed is what the editor saves; the passphrase dialog gets nothing typed. Judged by
// the window manager, the saved file and the applications' own output.
#include "tests/desktop/desktop.hpp"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace plenk {
namespace {

using desktop::Box;

Json centre(const Json& record) {
  return {{"x", record.value("x", 0.0) + record.value("w", 0.0) / 2},
          {"y", record.value("y", 0.0) + record.value("h", 0.0) / 2}};
}

bool inside(const Box& inner, const Box& outer) {
  return inner.x >= outer.x - 1 && inner.y >= outer.y - 1 &&
         inner.x + inner.w <= outer.x + outer.w + 1 && inner.y + inner.h <= outer.y + outer.h + 1;
}

TEST(AtspiQt, FeatherPadLivesThroughEveryVerbAndSavesWhatWasTyped) {
  ASSERT_EQ(desktop::sessionProblem(), "");
  desktop::TempFolder folder;
  const std::string path = folder.path + "/note.txt";
  std::ofstream(path) << "First line of the note\nSecond line, with é\n";
  desktop::Process app({"/usr/bin/featherpad", "--standalone", path});
  auto xid = desktop::windowOfProcess(app.pid(), 30000);
  ASSERT_TRUE(xid) << "FeatherPad showed no window";
  ASSERT_TRUE(desktop::waitUntil([&] { return desktop::activeWindow() == xid; }, 10000));
  auto window = desktop::windowGeometry(*xid);
  ASSERT_TRUE(window);
  desktop::Hands hands;
  auto alive = [&](const char* verb) {
    EXPECT_TRUE(desktop::running(app.pid())) << "FeatherPad died after " << verb;
  };

  Json front = hands.result("frontmost");
  alive("frontmost");
  ASSERT_TRUE(front.is_object()) << hands.lastAnswer();
  EXPECT_EQ(front["app"]["name"], "FeatherPad");
  EXPECT_EQ(front["app"]["pid"], app.pid());
  EXPECT_NE(front.value("window", "").find("note.txt"), std::string::npos) << front;

  Json listed = hands.result("elements", {{"max", 200}});
  alive("elements");
  ASSERT_TRUE(listed.is_object()) << hands.lastAnswer();
  Json editor;
  for (const auto& r : listed["elements"]) {
    EXPECT_TRUE(inside(desktop::boxOf(r), *window))
        << r << " lies outside the X11 window " << *window;
    if (r.value("role", "") == "textarea") editor = r;
  }
  ASSERT_TRUE(editor.is_object()) << listed;
  EXPECT_EQ(editor.value("value", ""), "First line of the note Second line, with é");
  EXPECT_FALSE(desktop::recordsOf(listed["elements"], "menubaritem", "File").empty()) << listed;

  Json read = hands.result("read_text");
  alive("read_text");
  ASSERT_TRUE(read.is_object()) << hands.lastAnswer();
  EXPECT_TRUE(read.value("text", "").starts_with("First line of the note\nSecond line, with é"))
      << read;

  Json at = hands.result("app_at", centre(editor));
  alive("app_at");
  ASSERT_TRUE(at.is_object()) << hands.lastAnswer();
  EXPECT_EQ(at["app"]["pid"], app.pid());
  EXPECT_EQ(at["role"], "AXTextArea");

  // Typed at the end and saved with the editor's own shortcut: the file on disk says what came.
  hands.result("click", centre(editor));
  alive("click");
  hands.result("key", {{"key", "cmd+end"}});
  ASSERT_TRUE(
      hands.result("type", {{"text", "Typed by the test: Zoë\nand a second line"}}).is_object())
      << hands.lastAnswer();
  alive("type");
  hands.result("key", {{"key", "cmd+s"}});
  alive("key");
  // FeatherPad ends a file it saves with a line feed.
  const std::string expected =
      "First line of the note\nSecond line, with é\nTyped by the test: Zoë\nand a second line\n";
  desktop::waitUntil([&] { return desktop::fileText(path) == expected; }, 10000);
  EXPECT_EQ(desktop::fileText(path), expected);
}

TEST(AtspiQt, NothingIsTypedIntoQtsPassphraseDialog) {
  ASSERT_EQ(desktop::sessionProblem(), "");
  desktop::TempFolder folder;
  // pinentry reads its commands from a pipe the test keeps open.
  const std::string commands = folder.path + "/commands";
  ASSERT_EQ(::mkfifo(commands.c_str(), 0600), 0);
  int writer = ::open(commands.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  desktop::Process pinentry({"/bin/sh", "-c", "exec /usr/bin/pinentry-qt < '" + commands + "'"});
  ASSERT_EQ(pinentry.readLine(20000).value_or("").substr(0, 2), "OK");
  const std::string ask = "SETDESC Passphrase of the test\nGETPIN\n";
  ASSERT_EQ(::write(writer, ask.data(), ask.size()), ssize_t(ask.size()));
  ASSERT_EQ(pinentry.readLine(5000).value_or(""), "OK"); // SETDESC
  auto xid = desktop::windowOfProcess(pinentry.pid(), 30000);
  ASSERT_TRUE(xid) << "pinentry-qt showed no window";
  ASSERT_TRUE(desktop::waitUntil([&] { return desktop::activeWindow() == xid; }, 10000));
  desktop::Hands hands;

  Json listed = hands.result("elements");
  ASSERT_TRUE(listed.is_object()) << hands.lastAnswer();
  bool secure = false;
  for (const auto& r : listed["elements"])
    secure = secure || r.value("secure", false);
  EXPECT_TRUE(secure) << listed;
  EXPECT_EQ(hands.result("read_text").value("text", ""), "Passphrase of the test\nPIN:");

  Json refused = hands.ask("type", {{"text", "secret"}});
  EXPECT_EQ(refused.value("code", ""), "secure_field") << refused;
  EXPECT_TRUE(desktop::running(pinentry.pid())) << "pinentry-qt died";

  // OK with the field as it was: pinentry answers a passphrase only when one was entered.
  hands.result("key", {{"key", "return"}});
  auto answer = pinentry.readLine(10000);
  EXPECT_EQ(answer.value_or("none"), "OK");
  ::close(writer);
}

} // namespace
} // namespace plenk
