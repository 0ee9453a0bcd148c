#include "hands/input/input_test_support.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {
namespace {

using Lines = std::vector<std::string>;

struct ScrollTest : InputFixture, ::testing::Test {
  Json scroll(Json args) { return verbScroll(hands, args); }
};

TEST_F(ScrollTest, ScrollsWhereThePointerIsWithOneEvent) {
  EXPECT_EQ(scroll({{"dy", 3}}), Json::object());
  EXPECT_EQ(eventLines(desktop), (Lines{"0 scroll v=3 h=0"}));
  EXPECT_EQ(desktop.elapsed(), 0);
}

TEST_F(ScrollTest, RoundsHalvesAwayFromZeroAndKeepsSigns) {
  struct Case {
    Json args;
    std::string posted;
  };
  const Case cases[] = {
      {{{"dy", 0.5}}, "0 scroll v=1 h=0"},   {{{"dy", -0.5}}, "0 scroll v=-1 h=0"},
      {{{"dy", -2.5}}, "0 scroll v=-3 h=0"}, {{{"dy", 2.49}, {"dx", -1.5}}, "0 scroll v=2 h=-2"},
      {{{"dy", 200}}, "0 scroll v=200 h=0"}, {{{"dx", -200}, {"dy", 0.4}}, "0 scroll v=0 h=-200"},
      {{{"dx", true}}, "0 scroll v=0 h=1"},  {{{"dy", "3"}, {"dx", 4}}, "0 scroll v=0 h=4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.dump());
    desktop.clearEvents();
    scroll(c.args);
    EXPECT_EQ(eventLines(desktop), Lines{c.posted});
  }
}

TEST_F(ScrollTest, MovesThePointerFirstWhenAPointIsGiven) {
  scroll({{"dy", -4}, {"x", 300}, {"y", 400.25}});
  EXPECT_EQ(eventLines(desktop),
            (Lines{"0 moved 300,400.25 left click=0", "30 scroll v=-4 h=0 at 300,400.25"}));
  auto events = desktop.events();
  EXPECT_EQ(std::get<MouseEvent>(events[0].event).source,
            std::get<ScrollEvent>(events[1].event).source);
}

TEST_F(ScrollTest, ChecksInOrderAndPostsNothingOnABadArgument) {
  const Refusal cases[] = {
      {{{"dy", 999}},
       false,
       "no_permission",
       "Accessibility is not allowed for Plenk AI in System Settings."},
      {{{"dx", 201}, {"dy", 1}}, true, "bad_args", "That is too far to scroll in one go."},
      {{{"dy", -200.5}}, true, "bad_args", "That is too far to scroll in one go."},
      // Amounts are checked before the point.
      {{{"dy", 300}, {"x", 1}}, true, "bad_args", "That is too far to scroll in one go."},
      {{{"dy", 0.4}, {"x", 1}}, true, "bad_args", "scroll needs dx or dy."},
      {{{"dy", 0.4}}, true, "bad_args", "scroll needs dx or dy."},
      {{{"dy", -0.49}, {"dx", 0.2}}, true, "bad_args", "scroll needs dx or dy."},
      {{{"dy", "3"}}, true, "bad_args", "scroll needs dx or dy."},
      {Json::object(), true, "bad_args", "scroll needs dx or dy."},
      {{{"dy", 3}, {"x", 5}}, true, "bad_args", "x and y must be numbers."},
      {{{"dy", 3}, {"y", nullptr}}, true, "bad_args", "x and y must be numbers."},
      {{{"dy", 3}, {"x", 1}, {"y", -100001}},
       true,
       "bad_args",
       "That point is nowhere on any screen."},
  };
  expectRefusals(*this, cases, [&](const Json& args) { scroll(args); });
}

TEST_F(ScrollTest, RefusedScrollEventFailsAfterTheMove) {
  desktop.refuseEventsAfter(1);
  expectError(errorOf([&] {
                scroll({{"dy", 1}, {"x", 1}, {"y", 2}});
              }),
              "helper_failed", "macOS would not create the scroll.");
  EXPECT_EQ(eventLines(desktop), (Lines{"0 moved 1,2 left click=0"}));
}

} // namespace
} // namespace plenk::hands
