#include "hands/input/input_test_support.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {
namespace {

using Lines = std::vector<std::string>;

struct ClickTest : InputFixture, ::testing::Test {
  Json click(Json args) { return verbClick(hands, args); }
};

TEST_F(ClickTest, SingleClickMovesWaitsThenPressesAndReleases) {
  EXPECT_EQ(click({{"x", 100}, {"y", 200}}), Json::object());
  EXPECT_EQ(eventLines(desktop),
            (Lines{"0 moved 100,200 left click=0", "40 leftDown 100,200 left click=1",
                   "65 leftUp 100,200 left click=1"}));
  EXPECT_DOUBLE_EQ(desktop.elapsed(), 0.065);
}

TEST_F(ClickTest, DoubleClickNumbersItsClicksAndPausesBetweenThem) {
  click({{"x", -5.5}, {"y", 7}, {"count", 2.0}});
  EXPECT_EQ(eventLines(desktop),
            (Lines{"0 moved -5.5,7 left click=0", "40 leftDown -5.5,7 left click=1",
                   "65 leftUp -5.5,7 left click=1", "125 leftDown -5.5,7 left click=2",
                   "150 leftUp -5.5,7 left click=2"}));
}

TEST_F(ClickTest, RightButtonUsesItsOwnEventTypes) {
  click({{"x", 1}, {"y", 2}, {"button", "right"}});
  EXPECT_EQ(eventLines(desktop),
            (Lines{"0 moved 1,2 left click=0", "40 rightDown 1,2 right click=1",
                   "65 rightUp 1,2 right click=1"}));
}

TEST_F(ClickTest, WrongTypesFallBackToALeftSingleClick) {
  const Json cases[] = {
      {{"x", 1}, {"y", 2}, {"button", 7}, {"count", "2"}},
      {{"x", 1}, {"y", 2}, {"button", nullptr}, {"count", nullptr}},
      {{"x", 1}, {"y", 2}, {"count", true}}, // true counts as 1
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.dump());
    desktop.clearEvents();
    click(args);
    EXPECT_EQ(eventLines(desktop).size(), 3u);
    EXPECT_EQ(eventLines(desktop)[1].substr(eventLines(desktop)[1].find(' ')),
              " leftDown 1,2 left click=1");
  }
}

TEST_F(ClickTest, EveryEventOfOneClickComesFromOneSource) {
  click({{"x", 1}, {"y", 2}, {"count", 2}});
  click({{"x", 1}, {"y", 2}});
  auto events = desktop.events();
  ASSERT_EQ(events.size(), 8u);
  auto sourceOf = [&](std::size_t i) { return std::get<MouseEvent>(events[i].event).source; };
  ASSERT_TRUE(sourceOf(0));
  for (std::size_t i = 1; i < 5; ++i)
    EXPECT_EQ(sourceOf(i), sourceOf(0));
  EXPECT_NE(sourceOf(5), sourceOf(0)) << "a new request makes a new source";
}

TEST_F(ClickTest, ClicksWithoutASourceWhenTheSystemGivesNone) {
  desktop.refuseSources(true);
  EXPECT_EQ(click({{"x", 1}, {"y", 2}}), Json::object());
  ASSERT_EQ(desktop.events().size(), 3u);
  EXPECT_FALSE(std::get<MouseEvent>(desktop.events()[1].event).source);
}

TEST_F(ClickTest, ChecksInOrderAndPostsNothingOnABadArgument) {
  const Refusal cases[] = {
      {Json::object(), false, "no_permission",
       "Accessibility is not allowed for Plenk AI in System Settings."},
      {{{"y", 2}, {"button", "middle"}, {"count", 3}},
       true,
       "bad_args",
       "x and y must be numbers."},
      {{{"x", 1}, {"y", 2e6}, {"button", "middle"}},
       true,
       "bad_args",
       "That point is nowhere on any screen."},
      {{{"x", 1}, {"y", 2}, {"button", "middle"}, {"count", 3}},
       true,
       "bad_args",
       "button is left or right."},
      {{{"x", 1}, {"y", 2}, {"button", "Left"}}, true, "bad_args", "button is left or right."},
      {{{"x", 1}, {"y", 2}, {"button", "RIGHT"}}, true, "bad_args", "button is left or right."},
      {{{"x", 1}, {"y", 2}, {"button", ""}}, true, "bad_args", "button is left or right."},
      {{{"x", 1}, {"y", 2}, {"count", 1.5}}, true, "bad_args", "count is 1 or 2."},
      {{{"x", 1}, {"y", 2}, {"count", 0}}, true, "bad_args", "count is 1 or 2."},
      {{{"x", 1}, {"y", 2}, {"count", 3}}, true, "bad_args", "count is 1 or 2."},
      {{{"x", 1}, {"y", 2}, {"count", -1}}, true, "bad_args", "count is 1 or 2."},
      {{{"x", 1}, {"y", 2}, {"count", false}}, true, "bad_args", "count is 1 or 2."},
  };
  expectRefusals(*this, cases, [&](const Json& args) { click(args); });
}

TEST_F(ClickTest, RefusedButtonEventsFailButWhatWasPostedStays) {
  // The move is made, then the first button event is refused.
  desktop.refuseEventsAfter(1);
  expectError(errorOf([&] {
                click({{"x", 1}, {"y", 2}});
              }),
              "helper_failed", "macOS would not create the click.");
  EXPECT_EQ(eventLines(desktop), (Lines{"0 moved 1,2 left click=0"}));

  // A double click whose second pair is refused leaves its first click posted.
  desktop.clearEvents();
  desktop.refuseEventsAfter(3);
  expectError(errorOf([&] {
                click({{"x", 1}, {"y", 2}, {"count", 2}});
              }),
              "helper_failed", "macOS would not create the click.");
  ASSERT_EQ(desktop.events().size(), 3u);
  EXPECT_NE(eventLines(desktop)[2].find("leftUp 1,2 left click=1"), std::string::npos);
}

} // namespace
} // namespace plenk::hands
