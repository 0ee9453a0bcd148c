// Input under faults: a display that goes away, a window that closes mid-typing, a menu that
// holds the keyboard. Each is answered, and nothing is left behind: no modifier, no key binding.
#include "input_support.hpp"
#include "platform/linux/x11_input.hpp"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace plenk::testing {
namespace {

struct Failure {
  const char* verb;
  Json args;
  const char* error;
};

TEST(InputFaults, ADisplayThatGoesAwayGivesHelperFailedAndNoCrash) {
  REQUIRE_DESKTOP();
  // A display of our own, so that it can be killed.
  auto server = std::make_unique<Child>(std::vector<std::string>{
      "/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
  ASSERT_TRUE(server->started());
  ASSERT_TRUE(server->pump(
      "", false, [&] { return server->out.find('\n') != std::string::npos; }, 20000));
  std::string display = ":" + server->out.substr(0, server->out.find('\n'));

  std::string saved = std::getenv("DISPLAY");
  setenv("DISPLAY", display.c_str(), 1);
  desktop::Hands hands;
  setenv("DISPLAY", saved.c_str(), 1);

  EXPECT_EQ(hands.ask("click", {{"x", 20}, {"y", 20}}), okAnswer(1));
  EXPECT_EQ(hands.ask("type", {{"text", "Ω and a"}}), okAnswer(2));
  EXPECT_EQ(hands.ask("key", {{"key", "cmd+shift+s"}}), okAnswer(3));

  server.reset(); // the X server is killed
  const Failure failures[] = {
      {"click", {{"x", 20}, {"y", 20}}, "The desktop would not create the click."},
      {"key", {{"key", "cmd+s"}}, "The desktop would not create the key press."},
      {"type", {{"text", "hello"}}, "The desktop would not create the typing."},
      {"scroll", {{"dy", 3}}, "The desktop would not create the scroll."},
  };
  for (const auto& f : failures) {
    int id = hands.nextId();
    EXPECT_EQ(hands.ask(f.verb, f.args),
              (Json{{"id", id}, {"ok", false}, {"code", "helper_failed"}, {"error", f.error}}));
  }
  int id = hands.nextId();
  EXPECT_EQ(hands.ask("probe")["id"], id);
  EXPECT_EQ(hands.finish(10000), 0);
  EXPECT_EQ(hands.err(), "plenk-hands: ready (protocol 1, version 1.0.0)\n");
}

TEST(InputFaults, WithoutADisplayInputIsRefusedAndScreenCaptureIsNotAllowed) {
  REQUIRE_DESKTOP();
  std::string saved = std::getenv("DISPLAY");
  setenv("DISPLAY", ":9999", 1); // nothing listens there
  desktop::Hands hands;
  setenv("DISPLAY", saved.c_str(), 1);
  EXPECT_EQ(hands.ask("click", {{"x", 5}, {"y", 5}}),
            (Json{{"id", 1},
                  {"ok", false},
                  {"code", "helper_failed"},
                  {"error", "The desktop would not create the click."}}));
  EXPECT_EQ(hands.ask("probe")["result"]["screen"], false);
}

TEST(InputFaults, AWindowThatClosesWhileTextIsTypedLeavesNothingBehind) {
  REQUIRE_DESKTOP();
  std::string before = keyboardMap();
  auto probe = std::make_unique<Probe>("3");
  ASSERT_TRUE(probe->ready()) << probe->child.err;
  desktop::Hands hands;
  EXPECT_EQ(hands.ask("click", probe->at("entry")), okAnswer(1));
  std::string text;
  for (int i = 0; i < 20; ++i)
    text += "Ωé日本 wörds ";
  Json request = {{"id", hands.nextId()}, {"verb", "type"}, {"args", {{"text", text}}}};
  hands.send(request, 5000);
  // The window goes away a few chunks in; the rest of the text goes wherever the focus is now.
  probe->lines.waitFor([](const Json& j) { return j.value("event", "") == "entry"; });
  probe.reset();
  EXPECT_EQ(hands.next(30000), okAnswer(2));
  EXPECT_EQ(hands.ask("key", {{"key", "cmd+shift+s"}}), okAnswer(3));
  EXPECT_EQ(hands.finish(10000), 0);
  EXPECT_EQ(hands.err(), "plenk-hands: ready (protocol 1, version 1.0.0)\n");
  // plenk-hands gave the spare key codes back as it ended.
  EXPECT_EQ(keyboardMap(), before);
}

TEST(InputFaults, AMenuHoldingTheKeyboardLeavesNoModifierDownAndTheMapAsItWas) {
  REQUIRE_DESKTOP();
  std::string before = keyboardMap();
  Probe probe("3");
  ASSERT_TRUE(probe.ready()) << probe.child.err;
  desktop::Hands hands;
  auto right = probe.at("text");
  right["button"] = "right";
  EXPECT_EQ(hands.ask("click", right), okAnswer(1));
  ASSERT_FALSE(probe.lines.waitFor(event("popup"), 5000).is_null());

  // The open context menu grabs the keyboard: chords and text go to it and are answered as usual.
  EXPECT_EQ(hands.ask("key", {{"key", "cmd+option+shift+x"}}), okAnswer(2));
  EXPECT_EQ(hands.ask("type", {{"text", "Ωé 日本"}}), okAnswer(3));
  EXPECT_EQ(hands.ask("key", {{"key", "esc"}}), okAnswer(4));
  ASSERT_FALSE(probe.lines.waitFor(event("popdown"), 5000).is_null());

  // Once the menu lets go, a plain key reaches the window with no modifier left down.
  EXPECT_EQ(hands.ask("click", probe.at("entry")), okAnswer(5));
  EXPECT_EQ(hands.ask("key", {{"key", "x"}}), okAnswer(6));
  Json x = probe.lines.waitFor([](const Json& j) { return event("key")(j) && j["keyval"] == "x"; },
                               5000);
  ASSERT_FALSE(x.is_null());
  EXPECT_FALSE(x["control"].get<bool>() || x["alt"].get<bool>() || x["shift"].get<bool>())
      << x.dump();
  std::this_thread::sleep_for(std::chrono::milliseconds(RESTORE_AFTER_MS + 700));
  EXPECT_EQ(keyboardMap(), before);
}

} // namespace
} // namespace plenk::testing
