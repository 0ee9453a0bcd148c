#include "hands/input/input_test_support.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {
namespace {

using Lines = std::vector<std::string>;

struct KeyTest : InputFixture, ::testing::Test {
  Json key(Json args) { return verbKey(hands, args); }
};

TEST_F(KeyTest, PressesOneKeyWithTheModifiersAsFlags) {
  EXPECT_EQ(key({{"key", "cmd+s"}}), Json::object());
  EXPECT_EQ(eventLines(desktop),
            (Lines{"0 key 1 down flags=0x100000", "15 key 1 up flags=0x100000"}));
  desktop.clearEvents();
  key({{"key", "CMD + Shift + Z"}});
  EXPECT_EQ(eventLines(desktop),
            (Lines{"15 key 6 down flags=0x120000", "30 key 6 up flags=0x120000"}));
  desktop.clearEvents();
  key({{"key", "escape"}});
  EXPECT_EQ(eventLines(desktop), (Lines{"30 key 53 down", "45 key 53 up"}));
}

TEST_F(KeyTest, RefusesBeforePostingAnything) {
  const Refusal cases[] = {
      {Json::object(), false, "no_permission",
       "Accessibility is not allowed for Plenk AI in System Settings."},
      {Json::object(), true, "bad_key", "key must be a short string like cmd+s."},
      {{{"key", 5}}, true, "bad_key", "key must be a short string like cmd+s."},
      {{{"key", ""}}, true, "bad_key", "key must be a short string like cmd+s."},
      {{{"key", std::string(61, 'x')}}, true, "bad_key", "key must be a short string like cmd+s."},
      {{{"key", "cmd+hyper+s"}},
       true,
       "bad_key",
       "hyper is not a modifier (cmd, shift, alt, ctrl)."},
      {{{"key", "Foo+Bar"}}, true, "bad_key", "There is no key called Foo+Bar."},
  };
  expectRefusals(*this, cases, [&](const Json& args) { key(args); });
}

TEST_F(KeyTest, RefusedKeyEventsPostNothing) {
  // The down is made and the up refused: neither goes out.
  desktop.refuseEventsAfter(1);
  expectError(errorOf([&] {
                key({{"key", "tab"}});
              }),
              "helper_failed", "macOS would not create the key press.");
  EXPECT_TRUE(desktop.events().empty());
}

} // namespace
} // namespace plenk::hands
