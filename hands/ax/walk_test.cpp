#include "hands/ax/ax_test_support.hpp"
#include "hands/ax/walk.hpp"
#include "hands/constants.hpp"

#include <cmath>
#include <gtest/gtest.h>

namespace plenk::hands {
namespace {

using testing::AxTest;
using testing::frame;
using testing::titled;
using testing::with;

const Rect WINDOW{{0, 0}, {800, 600}};

struct Collect : AxTest {
  std::vector<Json> interactive, texts;

  Walk walkWindow(std::optional<Rect> clipRect = WINDOW, std::optional<Element> focused = {}) {
    Walk walk(desktop.clock());
    collect(desktop, window, clipRect, focused, walk, interactive, texts);
    return walk;
  }

  std::vector<std::string> labels(const std::vector<Json>& records) {
    std::vector<std::string> out;
    for (const auto& r : records)
      out.push_back(r["label"]);
    return out;
  }
};

TEST_F(Collect, DepthFirstInDocumentOrder) {
  Element group = add("AXGroup");
  button("a", 10, 10, group);
  Element inner = add("AXGroup", {}, group);
  button("b", 10, 10, inner);
  button("c", 10, 10, group);
  button("d");
  staticText("note");
  Walk walk = walkWindow();
  EXPECT_EQ(labels(interactive), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(labels(texts), (std::vector<std::string>{"note"}));
  EXPECT_EQ(walk.visits, 8);
  EXPECT_FALSE(walk.exhausted());
}

TEST_F(Collect, OnlyCandidatesHaveTheirRectangleRead) {
  Element group = add("AXGroup", frame(0, 0, 10, 10));
  Element image = add("AXImage", frame(0, 0, 10, 10));
  button("ok");
  walkWindow();
  for (Element e : {group, image, window}) {
    EXPECT_EQ(desktop.reads(e, "AXPosition"), 0);
    EXPECT_EQ(desktop.reads(e, "AXSize"), 0);
  }
  EXPECT_EQ(interactive.size(), 1u);
}

TEST_F(Collect, UnlistedElementsStillHaveTheirChildrenWalked) {
  Element flat = add("AXButton", titled("flat", frame(10, 10, 0, 20)));
  button("inside flat", 10, 10, flat);
  Element outside = add("AXButton", titled("outside", frame(900, 700, 50, 50)));
  button("inside outside", 10, 10, outside);
  Element shapeless = add("AXButton", titled("shapeless", {{"AXPosition", plenk::Point{1, 1}}}));
  button("inside shapeless", 10, 10, shapeless);
  add("AXButton", titled("thin", frame(10, 10, 20, 0.5)));
  add("AXButton", titled("not a number", frame(10, 10, std::nan(""), 20)));
  // A coordinate that is not finite could not be written in the answer.
  add("AXButton", titled("nowhere", frame(std::nan(""), 10, 20, 20)));
  add("AXButton", titled("endless", frame(10, 10, 20, INFINITY)));
  walkWindow();
  EXPECT_EQ(labels(interactive),
            (std::vector<std::string>{"inside flat", "inside outside", "inside shapeless"}));
  // Without a clip rectangle only the size tests apply.
  interactive.clear();
  walkWindow(std::nullopt);
  EXPECT_EQ(labels(interactive), (std::vector<std::string>{"inside flat", "outside",
                                                           "inside outside", "inside shapeless"}));
}

TEST_F(Collect, MenusAreEnteredOnlyWithoutAClipRectangle) {
  Element menu = add("AXMenu", frame(0, 0, 100, 100));
  add("AXMenuItem", titled("Copy", frame(0, 0, 100, 20)), menu);
  Walk clipped = walkWindow();
  EXPECT_TRUE(interactive.empty());
  EXPECT_EQ(clipped.visits, 2); // the menu itself is a visit
  EXPECT_EQ(desktop.reads(menu, "AXChildren"), 0);

  Walk unclipped = walkWindow(std::nullopt);
  EXPECT_EQ(labels(interactive), (std::vector<std::string>{"Copy"}));
  EXPECT_EQ(unclipped.visits, 3);
}

TEST_F(Collect, TextsNeedAValueAndTakeItAsLabel) {
  staticText("");
  staticText("   ");
  staticText("Total: 3");
  add("AXStaticText",
      titled("Heading", with({{"AXValue", std::string("body")}}, frame(0, 0, 9, 9))));
  walkWindow();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0]["label"], "Total: 3");
  EXPECT_EQ(texts[0]["value"], "Total: 3");
  EXPECT_EQ(texts[1]["label"], "Heading");
  EXPECT_EQ(texts[1]["value"], "body");
}

TEST_F(Collect, StopsAtMaxElementsInteractive) {
  std::vector<Element> buttons;
  for (int i = 0; i < 300; ++i)
    buttons.push_back(button("b" + std::to_string(i)));
  Walk walk = walkWindow();
  EXPECT_EQ(interactive.size(), 250u);
  EXPECT_EQ(interactive.back()["label"], "b249");
  EXPECT_EQ(walk.visits, 251);
  EXPECT_EQ(desktop.reads(buttons[250], "AXRole"), 0);
  EXPECT_FALSE(walk.exhausted());
}

TEST_F(Collect, TextListHoldsAtMostMaxElements) {
  std::vector<Element> notes;
  for (int i = 0; i < 260; ++i)
    notes.push_back(staticText("t" + std::to_string(i)));
  Walk walk = walkWindow();
  EXPECT_EQ(texts.size(), 250u);
  EXPECT_EQ(walk.visits, 261); // the walk goes on; only the list is full
  EXPECT_EQ(desktop.reads(notes[255], "AXValue"), 0);
}

TEST_F(Collect, StopsAtMaxVisits) {
  for (int i = 0; i < 9999; ++i)
    add("AXGroup");
  button("late");
  Walk walk = walkWindow();
  EXPECT_EQ(walk.visits, MAX_VISITS);
  EXPECT_TRUE(walk.exhausted());
  EXPECT_TRUE(interactive.empty());
}

TEST_F(Collect, StopsAtTheDeadline) {
  for (int i = 0; i < 400; ++i)
    add("AXGroup");
  // Each visit reads the role and the children: 1/32 s. The 129th visit starts exactly at the
  // deadline, which is not yet late; the 130th would start after it.
  desktop.setAppLatency(testing::APP_PID, 1.0 / 64);
  Walk walk = walkWindow();
  EXPECT_EQ(walk.visits, 129);
  EXPECT_TRUE(walk.exhausted());
}

TEST_F(Collect, ChildrenAreReadAboveMaxDepthOnly) {
  Element parent = window;
  std::vector<Element> groups;
  for (int depth = 1; depth <= 100; ++depth) {
    parent = add("AXGroup", {}, parent);
    groups.push_back(parent);
    button("at " + std::to_string(depth + 1), 10, 10, parent);
  }
  walkWindow();
  ASSERT_EQ(interactive.size(), 59u);
  EXPECT_EQ(interactive.back()["label"], "at 60");
  EXPECT_EQ(desktop.reads(groups[58], "AXChildren"), 1); // depth 59
  EXPECT_EQ(desktop.reads(groups[59], "AXChildren"), 0); // depth 60
}

TEST_F(Collect, MarksTheFocusedElement) {
  Element name = add("AXTextField", titled("Name", frame(10, 10, 100, 20)));
  button("Send");
  walkWindow(WINDOW, name);
  ASSERT_EQ(interactive.size(), 2u);
  EXPECT_EQ(interactive[0]["focused"], true);
  EXPECT_FALSE(interactive[1].contains("focused"));
}

TEST(WalkBudget, DeadlineIsExactAndVisitsCount) {
  VirtualClock clock;
  clock.advance(0.3);
  Walk walk(clock);
  clock.advance(4.0);
  EXPECT_FALSE(walk.exhausted()); // exactly at the deadline
  clock.sleepMicros(1);
  EXPECT_TRUE(walk.exhausted());

  Walk counted(clock);
  counted.visits = MAX_VISITS - 1;
  EXPECT_FALSE(counted.exhausted());
  counted.visits = MAX_VISITS;
  EXPECT_TRUE(counted.exhausted());
}

} // namespace
} // namespace plenk::hands
