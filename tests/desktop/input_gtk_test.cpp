// Clicks, scrolling, chords and typing through the real plenk-hands into GTK 3 and GTK 4
// windows, each checked by what the window says it received.
#include "desktop.hpp"
#include "input_support.hpp"
#include "platform/linux/x11_input.hpp"

#include <chrono>
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

  void TearDown() override {
    if (HasFailure() && probe) {
      std::string out = probe->child.out;
      ADD_FAILURE() << "the probe said:\n"
                    << out.substr(out.size() > 20000 ? out.size() - 20000 : 0) << "\n"
                    << probe->child.err;
    }
  }

  Json ask(const std::string& verb, Json args) {
    int id = hands.nextId();
    Json answer = hands.ask(verb, std::move(args));
    EXPECT_EQ(answer, okAnswer(id)) << verb;
    return answer;
  }
  Json waitFor(const std::string& name, const std::function<bool(const Json&)>& match,
               int timeoutMs = 5000) {
    return probe->lines.waitFor([&](const Json& j) { return event(name)(j) && match(j); },
                                timeoutMs);
  }
  // Replaces the text of an entry or the text area with `text`; the text it then says it holds.
  std::string replaceText(const std::string& widget, const std::string& name,
                          const std::string& text) {
    ask("click", probe->at(widget));
    ask("key", {{"key", "cmd+a"}});
    ask("type", {{"text", text}});
    std::string last;
    waitFor(
        name,
        [&](const Json& j) {
          last = j["text"];
          return last == text;
        },
        10000);
    return last;
  }

  std::unique_ptr<Probe> probe;
  desktop::Hands hands;
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
    EXPECT_FALSE(waitFor("popdown", [](const Json&) { return true; }).is_null());
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
  ask("key", {{"key", "cmd+a"}});
  ASSERT_FALSE(waitFor("key", [](const Json& j) {
                 return j["keyval"] == "a" && j["control"] == true;
               }).is_null());
  ask("type", {{"text", "plain"}});
  std::vector<Json> keys;
  auto typed = probe->lines.waitFor(
      [&](const Json& j) {
        if (j["event"] == "key") keys.push_back(j);
        return j["event"] == "entry" && j["text"] == "plain";
      },
      10000);
  ASSERT_FALSE(typed.is_null());
  ASSERT_EQ(keys.size(), 5u);
  for (const auto& k : keys)
    EXPECT_EQ(k["control"].get<bool>() || k["alt"].get<bool>() || k["shift"].get<bool>(), false)
        << k.dump();
  EXPECT_EQ(replaceText("entry", "entry", "new"), "new");

  // Return in the entry activates the window's default button.
  ask("key", {{"key", "return"}});
  EXPECT_FALSE(waitFor("activated", [](const Json&) { return true; }).is_null());
}

TEST_P(InputGtk, TextArrivesExactlyAndTheKeyboardMapComesBack) {
  std::string before = keyboardMap();
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(replaceText("entry", "entry", MIXED), MIXED);

  const std::string lines = "first line\nsecond, with É\n\nlast";
  EXPECT_EQ(replaceText("text", "textview", lines), lines);

  // More different characters than there are spare key codes: bindings are taken over.
  const std::string many = "日本語の文字を打つ試験です一二三四五六七八九十百千万円年月火水木金土";
  EXPECT_EQ(replaceText("entry", "entry", many), many);

  // On X11 the spare key codes get their empty mapping back; a wlroots compositor keeps the
  // helper's keymap on its own virtual keyboard, apart from the user's, and Mutter types with
  // the user's keymap and never changes it.
  if (desktop::inCompositor()) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(RESTORE_AFTER_MS + 700));
  EXPECT_EQ(keyboardMap(), before);
}

TEST_P(InputGtk, NothingIsTypedIntoAPasswordEntry) {
  // The focus read through accessibility is in the password entry: nothing is typed.
  ask("click", probe->at("password"));
  int id = hands.nextId();
  EXPECT_EQ(
      hands.ask("type", {{"text", "secret"}}),
      (Json{{"id", id},
            {"ok", false},
            {"code", "secure_field"},
            {"error", "The cursor is in a password field, and Vantle never types into one."}}));

  // Return or Tab in the user name moves the focus into the password entry: typing stops there.
  for (const char* text : {"name\nsecret", "name\tsecret"}) {
    SCOPED_TRACE(text);
    ask("click", probe->at("user"));
    ask("key", {{"key", "cmd+a"}});
    ask("key", {{"key", "delete"}});
    probe->lines.drain(300);
    id = hands.nextId();
    EXPECT_EQ(
        hands.ask("type", {{"text", text}}),
        (Json{{"id", id},
              {"ok", false},
              {"code", "secure_field"},
              {"error", "The cursor moved into a password field, so Vantle stopped typing."}}));
    std::string user;
    for (const auto& j : probe->lines.drain(800)) {
      EXPECT_NE(j["event"], "password") << j.dump();
      if (j["event"] == "user") user = j["text"];
    }
    EXPECT_EQ(user, "name");
  }
}

// In a Wayland session a window gets the keyboard focus only once the seat has a keyboard: in
// the test session that is plenk-hands' own, so it starts first.
TEST(InputChromium, TextArrivesExactly) {
  REQUIRE_DESKTOP();
  desktop::Hands hands;
  auto browser =
      desktop::Browser::start("file://" + sourceDir() + "/tests/desktop/apps/title_input.html",
                              {"--force-renderer-accessibility", "--window-size=800,400"});
  ASSERT_TRUE(browser) << "Chromium showed no window";
  // The page's title shows the text field's content, percent-encoded.
  auto value = [] {
    std::string title = activeWindowTitle();
    if (!title.starts_with("value:")) return std::string();
    return percentDecoded(title.substr(6, title.find(" - ") - 6));
  };
  ASSERT_TRUE(desktop::waitUntil([] { return activeWindowTitle().starts_with("ready"); }, 60000));
  std::string text = MIXED;
  if (desktop::inCompositor()) {
    // Chromium's Wayland windows read a key's character as one UTF-16 unit; Mutter and KWin type
    // only what their layout holds, and Chromium has no GTK Unicode entry. What cannot be typed
    // is refused, with nothing typed.
    EXPECT_EQ(hands.ask("type", {{"text", MIXED}}).value("code", ""), "helper_failed");
    if (desktop::inSway())
      text.erase(text.find(" 😀"), std::string(" 😀").size());
    else
      text = "Zoe Unal - naive cafe, typed [as] {laid} out; \"quoted\" & 100% #1!";
  }
  const int id = hands.nextId();
  EXPECT_EQ(hands.ask("type", {{"text", text}}), okAnswer(id));
  desktop::waitUntil([&] { return value() == text; }, 10000);
  EXPECT_EQ(value(), text) << activeWindowTitle();
}

TEST(InputChromium, NothingIsTypedIntoAPasswordInputTheTabMovesTo) {
  REQUIRE_DESKTOP();
  desktop::Hands hands;
  auto browser =
      desktop::Browser::start("file://" + sourceDir() + "/tests/desktop/apps/login.html",
                              {"--force-renderer-accessibility", "--window-size=800,400"});
  ASSERT_TRUE(browser) << "Chromium showed no window";
  ASSERT_TRUE(desktop::waitUntil([] { return activeWindowTitle().starts_with("ready"); }, 60000));
  EXPECT_EQ(hands.ask("type", {{"text", "name\tsecret"}}),
            (Json{{"id", 1},
                  {"ok", false},
                  {"code", "secure_field"},
                  {"error", "The cursor moved into a password field, so Vantle stopped typing."}}));
  desktop::waitUntil([] { return activeWindowTitle().starts_with("user:name "); }, 5000);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(activeWindowTitle().starts_with("user:name pw:0")) << activeWindowTitle();
}

INSTANTIATE_TEST_SUITE_P(Gtk, InputGtk, ::testing::Values("3", "4"),
                         [](const auto& info) { return "Gtk" + info.param; });

} // namespace
} // namespace plenk::testing
