// Clicks, scrolling, chords and typing through the real plenk-hands into GTK 3 and GTK 4
// windows, each checked by what the window says it received.
#include "input_support.hpp"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace plenk::testing {
namespace {

const std::string MIXED = "Zoë Ünal — naïve café ÉÄΩ 😀 日本語 שלום";

class InputGtk : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override {
    REQUIRE_DESKTOP();
    probe = std::make_unique<Probe>(GetParam());
    ASSERT_TRUE(probe->ready()) << "the GTK " << GetParam()
                                << " probe never showed: " << probe->child.err;
  }

  Json ask(const std::string& verb, Json args) {
    int id = hands.nextId;
    Json answer = hands.ask(verb, std::move(args));
    EXPECT_EQ(answer, okAnswer(id)) << verb;
    return answer;
  }
  Json waitFor(const std::string& name, const std::function<bool(const Json&)>& match,
               int timeoutMs = 5000) {
    return probe->lines.waitFor([&](const Json& j) { return event(name)(j) && match(j); },
                                timeoutMs);
  }
  // Replaces the focused entry's or text area's text with `text` and waits until `name` says it.
  Json replaceText(const std::string& widget, const std::string& name, const std::string& text) {
    ask("click", probe->at(widget));
    ask("key", {{"key", "cmd+a"}});
    ask("type", {{"text", text}});
    return waitFor(
        name, [&](const Json& j) { return j["text"] == text; }, 10000);
  }

  std::unique_ptr<Probe> probe;
  Hands hands;
};

TEST_P(InputGtk, ClicksDoubleClicksRightClicksAndScrolls) {
  ask("click", probe->at("button"));
  EXPECT_FALSE(
      waitFor("clicked", [](const Json& j) { return j["label"] == "Pressed 1"; }).is_null());

  // Two clicks within the double-click time on the first word of the text area select it.
  auto first = probe->at("text", 14, 8);
  first["count"] = 2;
  ask("click", first);
  EXPECT_FALSE(waitFor("selection", [](const Json& j) { return j["text"] == "alpha"; }).is_null());

  if (GetParam() == "3") {
    auto right = probe->at("text");
    right["button"] = "right";
    ask("click", right);
    EXPECT_FALSE(waitFor("popup", [](const Json&) { return true; }).is_null());
    ask("key", {{"key", "esc"}});
  }

  // Negative amounts scroll down and right, positive ones up and left, as the wheel does.
  auto down = probe->at("rows");
  down["dy"] = -5;
  ask("scroll", down);
  auto scrolledDown = waitFor("vscroll", [](const Json& j) { return j["first"] > 0; });
  ASSERT_FALSE(scrolledDown.is_null());
  ask("scroll", {{"dy", 5}}); // where the pointer is, still over the list
  EXPECT_FALSE(waitFor("vscroll", [](const Json& j) { return j["first"] == 0; }).is_null());

  auto right = probe->at("wide");
  right["dx"] = -4;
  ask("scroll", right);
  ASSERT_FALSE(waitFor("hscroll", [](const Json& j) { return j["value"] > 0; }).is_null());
  right["dx"] = 4;
  ask("scroll", right);
  EXPECT_FALSE(waitFor("hscroll", [](const Json& j) { return j["value"] == 0; }).is_null());
}

struct Chord {
  const char* key;
  const char* keyval;
  bool control, alt, shift;
};

TEST_P(InputGtk, ChordsArriveWithTheirModifiersAndLeaveNoneDown) {
  ask("click", probe->at("entry"));
  const Chord chords[] = {
      {"cmd+s", "s", true, false, false},
      {"ctrl+shift+z", "Z", true, false, true},
      {"alt+f", "f", false, true, false},
      {"CMD + Alt + Shift + K", "K", true, true, true},
      {"option+1", "1", false, true, false},
      {"shift+=", "plus", false, false, true},
      {"f5", "F5", false, false, false},
      {"pagedown", "Page_Down", false, false, false},
      {"control+backspace", "BackSpace", true, false, false},
  };
  for (const auto& c : chords) {
    SCOPED_TRACE(c.key);
    ask("key", {{"key", c.key}});
    auto seen = waitFor("key", [](const Json& j) {
      std::string name = j["keyval"];
      return !name.ends_with("_L") && !name.ends_with("_R");
    });
    ASSERT_FALSE(seen.is_null());
    EXPECT_EQ(seen["keyval"], c.keyval);
    EXPECT_EQ(seen["control"], c.control);
    EXPECT_EQ(seen["alt"], c.alt);
    EXPECT_EQ(seen["shift"], c.shift);
  }

  // Nothing stayed down: plain typing arrives plain, and "cmd+a" then typing replaces the text.
  ASSERT_FALSE(replaceText("entry", "entry", "old text").is_null());
  auto plain = probe->lines.drain(100);
  for (const auto& j : plain) {
    if (j["event"] == "key") {
      EXPECT_FALSE(j["control"] || j["alt"] || j["shift"]) << j.dump();
    }
  }
  ASSERT_FALSE(replaceText("entry", "entry", "new").is_null());

  // Return in the entry activates the window's default button.
  ask("key", {{"key", "return"}});
  EXPECT_FALSE(waitFor("activated", [](const Json&) { return true; }).is_null());
}

TEST_P(InputGtk, TextArrivesExactlyAndTheKeyboardMapComesBack) {
  std::string before = keyboardMap();
  ASSERT_FALSE(before.empty());
  auto typed = replaceText("entry", "entry", MIXED);
  EXPECT_FALSE(typed.is_null()) << "last entry text: " << [&] {
    std::string last;
    for (const auto& j : probe->lines.drain(200))
      if (j["event"] == "entry") last = j["text"];
    return last;
  }();

  const std::string lines = "first line\nsecond, with É\n\nlast";
  EXPECT_FALSE(replaceText("text", "textview", lines).is_null());

  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(keyboardMap(), before);
}

TEST(InputChromium, TextArrivesExactly) {
  REQUIRE_DESKTOP();
  std::string pattern = "/tmp/plenk-chromium-XXXXXX";
  std::string profile = ::mkdtemp(pattern.data());
  {
    Child browser({"/usr/bin/chromium", "--no-sandbox", "--disable-gpu", "--no-first-run",
                   "--disable-background-networking", "--disable-component-update",
                   "--disable-sync", "--user-data-dir=" + profile, "--force-renderer-accessibility",
                   "--window-size=800,400",
                   "file://" + sourceDir() + "/tests/desktop/apps/title_input.html"});
    auto titleBecomes = [](const std::function<bool(const std::string&)>& match, int seconds) {
      for (int i = 0; i < seconds * 10; ++i) {
        if (match(activeWindowTitle())) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      return false;
    };
    ASSERT_TRUE(titleBecomes([](const std::string& t) { return t.starts_with("ready"); }, 60));
    Hands hands;
    EXPECT_EQ(hands.ask("type", {{"text", MIXED}}), okAnswer(1));
    std::string last;
    titleBecomes(
        [&](const std::string& t) {
          last = t;
          return t.starts_with("value:") && percentDecoded(t.substr(6, t.find(" - ") - 6)) == MIXED;
        },
        10);
    EXPECT_EQ(percentDecoded(last.substr(6, last.find(" - ") - 6)), MIXED) << last;
  }
  std::filesystem::remove_all(profile);
}

INSTANTIATE_TEST_SUITE_P(Gtk, InputGtk, ::testing::Values("3", "4"),
                         [](const auto& info) { return "Gtk" + info.param; });

} // namespace
} // namespace plenk::testing
