#include "hands/input/input_test_support.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* SECURE_BEFORE =
    "The cursor is in a password field, and Vantle never types into one.";
constexpr const char* SECURE_AFTER =
    "The cursor moved into a password field, so Vantle stopped typing.";

// A front application with a text field and a password field; the text field has the focus.
struct TypingDesk : InputFixture {
  Element app, field, password;
  TypingDesk() {
    app = desktop.addApp(
        RunningApp{42, "Mail", "com.example.mail", ActivationPolicy::regular, std::nullopt});
    desktop.setFrontmost(42);
    field = desktop.add(app, "AXTextField", {}, "field");
    password = desktop.add(app, "AXTextField", {{"AXSubrole", std::string("AXSecureTextField")}},
                           "password");
    desktop.focus(field);
  }
  Json type(Json text) { return verbType(hands, {{"text", std::move(text)}}); }
  int focusReads() { return desktop.count("copyAttribute", "AXFocusedUIElement"); }
};
struct TypeTest : TypingDesk, ::testing::Test {};

TEST_F(TypeTest, ShortTextIsOneChunk) {
  EXPECT_EQ(type("hello"), Json::object());
  EXPECT_EQ(eventLines(desktop), (Lines{"0 key 0 down \"hello\"", "8 key 0 up \"hello\""}));
  EXPECT_DOUBLE_EQ(desktop.elapsed(), 0.020);
  EXPECT_EQ(focusReads(), 1) << "only the guard before typing";
}

TEST_F(TypeTest, LongLineGoesOutInChunksOfSixteenUnits) {
  type(std::string(16, 'a') + std::string(16, 'b') + std::string(8, 'c'));
  EXPECT_EQ(eventLines(desktop),
            (Lines{"0 key 0 down \"aaaaaaaaaaaaaaaa\"", "8 key 0 up \"aaaaaaaaaaaaaaaa\"",
                   "20 key 0 down \"bbbbbbbbbbbbbbbb\"", "28 key 0 up \"bbbbbbbbbbbbbbbb\"",
                   "40 key 0 down \"cccccccc\"", "48 key 0 up \"cccccccc\""}));
}

TEST_F(TypeTest, SurrogatePairAtTheBoundaryStartsTheNextChunk) {
  type(std::string(15, 'x') + "\xF0\x9F\x98\x80");
  EXPECT_EQ(eventLines(desktop),
            (Lines{"0 key 0 down \"xxxxxxxxxxxxxxx\"", "8 key 0 up \"xxxxxxxxxxxxxxx\"",
                   "20 key 0 down \"\xF0\x9F\x98\x80\"", "28 key 0 up \"\xF0\x9F\x98\x80\""}));
}

TEST_F(TypeTest, LineBreaksArePressedAsReturnWithAFocusCheckAfterEach) {
  struct Case {
    const char* what;
    std::string text;
    Lines events;
    int focusReads;
  };
  const Case cases[] = {
      {"cr lf is one line break",
       "a\r\nb",
       {"0 key 0 down \"a\"", "8 key 0 up \"a\"", "20 key 36 down", "35 key 36 up",
        "55 key 0 down \"b\"", "63 key 0 up \"b\""},
       2},
      {"lone cr is typed as a character",
       "a\rb",
       {"0 key 0 down \"a\rb\"", "8 key 0 up \"a\rb\""},
       1},
      {"only a line feed", "\n", {"0 key 36 down", "15 key 36 up"}, 2},
      {"trailing line feed",
       "abc\n",
       {"0 key 0 down \"abc\"", "8 key 0 up \"abc\"", "20 key 36 down", "35 key 36 up"},
       2},
      {"empty line between",
       "a\n\nb",
       {"0 key 0 down \"a\"", "8 key 0 up \"a\"", "20 key 36 down", "35 key 36 up",
        "55 key 36 down", "70 key 36 up", "90 key 0 down \"b\"", "98 key 0 up \"b\""},
       3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    InputFixture fresh;
    EXPECT_EQ(verbType(fresh.hands, {{"text", c.text}}), Json::object());
    EXPECT_EQ(eventLines(fresh.desktop), c.events);
    EXPECT_EQ(fresh.desktop.count("copyAttribute", "AXFocusedUIElement"), c.focusReads);
  }
}

TEST_F(TypeTest, RefusesToStartInAPasswordField) {
  // By subrole, and by role.
  desktop.focus(password);
  expectError(errorOf([&] { type("secret"); }), "secure_field", SECURE_BEFORE);
  auto byRole = desktop.add(app, "AXSecureTextField", {}, "pin");
  desktop.focus(byRole);
  expectError(errorOf([&] { type("secret"); }), "secure_field", SECURE_BEFORE);
  EXPECT_TRUE(desktop.events().empty());
}

TEST_F(TypeTest, StopsWhenAReturnMovesTheFocusIntoAPasswordField) {
  desktop.afterKey(36, 0.005, [&](MemoryDesktop& d) { d.focus(password); });
  expectError(errorOf([&] { type("alice\nhunter2\nmore"); }), "secure_field", SECURE_AFTER);
  EXPECT_EQ(eventLines(desktop), (Lines{"0 key 0 down \"alice\"", "8 key 0 up \"alice\"",
                                        "20 key 36 down", "35 key 36 up"}));
}

TEST_F(TypeTest, LooksAtTheFocusAgainAfterATypedTab) {
  // user name, tab, password: the tab moves the focus into the password field.
  desktop.afterKey(0, 0.005, [&](MemoryDesktop& d) { d.focus(password); });
  expectError(errorOf([&] { type("alice\thunter2"); }), "secure_field", SECURE_AFTER);
  EXPECT_EQ(eventLines(desktop), (Lines{"0 key 0 down \"alice\t\"", "8 key 0 up \"alice\t\""}));
  EXPECT_DOUBLE_EQ(desktop.elapsed(), 0.040);

  // Where the focus stays, typing goes on after the check.
  InputFixture plain;
  verbType(plain.hands, {{"text", "a\tb"}});
  EXPECT_EQ(eventLines(plain.desktop), (Lines{"0 key 0 down \"a\t\"", "8 key 0 up \"a\t\"",
                                              "40 key 0 down \"b\"", "48 key 0 up \"b\""}));
  EXPECT_EQ(plain.desktop.count("copyAttribute", "AXFocusedUIElement"), 2);
}

TEST_F(TypeTest, WaitsForASlowFocusMoveOutOfASingleLineField) {
  // A browser moves the focus from the user name into the password 0.2 s after the key.
  struct Case {
    std::string text;
    std::uint16_t key;
  };
  for (const auto& c : {Case{"alice\thunter2", 0}, Case{"alice\nhunter2", 36}}) {
    SCOPED_TRACE(c.text);
    TypingDesk slow;
    slow.desktop.afterKey(c.key, 0.2, [&](MemoryDesktop& d) { d.focus(slow.password); });
    expectError(errorOf([&] { slow.type(c.text); }), "secure_field", SECURE_AFTER);
    for (const auto& line : eventLines(slow.desktop))
      EXPECT_EQ(line.find("hunter2"), std::string::npos) << line;
  }

  // Where the focus stays in the field, typing goes on once the wait is over.
  EXPECT_EQ(type("a\nb"), Json::object());
  EXPECT_EQ(eventLines(desktop),
            (Lines{"0 key 0 down \"a\"", "8 key 0 up \"a\"", "20 key 36 down", "35 key 36 up",
                   "555 key 0 down \"b\"", "563 key 0 up \"b\""}));

  // A text area keeps the focus on Return: no wait there.
  TypingDesk notes;
  notes.desktop.focus(notes.desktop.add(notes.app, "AXTextArea", {}, "notes"));
  EXPECT_EQ(notes.type("a\nb"), Json::object());
  EXPECT_EQ(eventLines(notes.desktop).back(), "63 key 0 up \"b\"");
}

TEST_F(TypeTest, TypesOnWhenTheFocusCannotBeTold) {
  // Nothing has the focus.
  InputFixture empty;
  EXPECT_EQ(verbType(empty.hands, {{"text", "a\nb"}}), Json::object());
  EXPECT_EQ(empty.desktop.events().size(), 6u);

  // A password field whose role and subrole cannot be read is not known to be one.
  desktop.focus(password);
  desktop.fail(password, "AXRole", AxStatus::cannotComplete);
  desktop.fail(password, "AXSubrole", AxStatus::cannotComplete);
  EXPECT_EQ(type("a\nb"), Json::object());
  EXPECT_EQ(desktop.events().size(), 6u);
}

TEST_F(TypeTest, CountsTheLimitInUserPerceivedCharacters) {
  type(std::string(10000, 'a'));
  // 625 chunks of 20 ms: 12.5 s of pauses, spent on the virtual clock.
  EXPECT_EQ(desktop.events().size(), 1250u);
  EXPECT_DOUBLE_EQ(desktop.elapsed(), 12.5);

  std::string accented;
  for (int i = 0; i < 10000; ++i)
    accented += "e\u0301";
  desktop.clearEvents();
  EXPECT_EQ(type(accented), Json::object());
  EXPECT_EQ(desktop.events().size(), 2u * 1250u);

  desktop.clearEvents();
  expectError(errorOf([&] { type(std::string(10001, 'a')); }), "bad_args",
              "That is too much text to type in one go.");
  expectError(errorOf([&] { type(accented + "e"); }), "bad_args",
              "That is too much text to type in one go.");
  // One character with endless combining marks is still too much to type.
  std::string heavy = "a";
  for (int i = 0; i < 40000; ++i)
    heavy += "\u0301";
  expectError(errorOf([&] { type(heavy); }), "bad_args",
              "That is too much text to type in one go.");
  EXPECT_TRUE(desktop.events().empty());
}

TEST_F(TypeTest, ChecksInOrderAndPostsNothingOnABadArgument) {
  struct Case {
    Json args;
    bool trusted;
    bool inPassword;
    std::string code;
    std::string message;
  };
  const Case cases[] = {
      {{{"text", 42}},
       false,
       true,
       "no_permission",
       "Accessibility is not allowed for Plenk AI in System Settings."},
      {{{"text", 42}}, true, true, "bad_args", "text must be a non-empty string."},
      {{{"text", ""}}, true, true, "bad_args", "text must be a non-empty string."},
      {Json::object(), true, false, "bad_args", "text must be a non-empty string."},
      {{{"text", std::string(10001, 'a')}},
       true,
       true,
       "bad_args",
       "That is too much text to type in one go."},
      {{{"text", "   "}}, true, true, "secure_field", SECURE_BEFORE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.dump().substr(0, 60));
    desktop.trusted = c.trusted;
    desktop.focus(c.inPassword ? password : field);
    expectError(errorOf([&] { verbType(hands, c.args); }), c.code, c.message);
    EXPECT_TRUE(desktop.events().empty());
  }
}

TEST_F(TypeTest, RefusedEventsStopTypingWhereTheyHappen) {
  // No event at all: nothing typed.
  desktop.refuseEventsAfter(0);
  expectError(errorOf([&] { type("ab"); }), "helper_failed", "macOS would not create the typing.");
  EXPECT_TRUE(desktop.events().empty());

  // The first chunk's pair is made, the Return is refused: the first line stays typed.
  desktop.refuseEventsAfter(2);
  expectError(errorOf([&] { type("ab\ncd"); }), "helper_failed",
              "macOS would not create the key press.");
  EXPECT_EQ(desktop.events().size(), 2u);
}

} // namespace
} // namespace plenk::hands
