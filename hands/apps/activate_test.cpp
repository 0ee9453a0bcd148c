#include "hands/apps/apps_test_support.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {
namespace {

using testing::app;
using testing::AppsTest;
using testing::expectError;
using testing::thrownBy;

struct Activate : AppsTest {
  Activate() {
    for (int pid : {1, 12, 42, 999999})
      desktop.addApp(app(pid, "App " + std::to_string(pid)));
    desktop.setFrontmost(1);
    desktop.clearCalls();
  }
};

TEST_F(Activate, RefusedPidValuesAreNotRunning) {
  const Json refused[] = {Json::object(),
                          {{"pid", 0}},
                          {{"pid", -5}},
                          {{"pid", 1000000}},
                          {{"pid", "123"}},
                          {{"pid", nullptr}},
                          {{"pid", false}},
                          {{"pid", 0.5}},
                          {{"pid", 1e300}},
                          {{"pid", 7}}, // not running
                          {{"pid", Json::array({42})}}};
  for (const auto& args : refused)
    expectError(thrownBy([&] { verbActivate(hands, args); }), "bad_args",
                "That app is not running.");
  EXPECT_EQ(desktop.count("activate"), 0);
  // Only the one running-application lookup a pid in range asks for; 0.5 names no process.
  EXPECT_EQ(desktop.count("runningApplication"), 1);
  EXPECT_EQ(desktop.count("runningApplication", "7"), 1);
}

TEST_F(Activate, AcceptedPidValuesAreCutTowardsZero) {
  struct Case {
    Json pid;
    int looked;
  } cases[] = {{42, 42}, {12.9, 12}, {999999.7, 999999}, {true, 1}, {1.0, 1}};
  for (const auto& c : cases) {
    desktop.clearCalls();
    EXPECT_EQ(verbActivate(hands, {{"pid", c.pid}}), (Json{{"activated", true}})) << c.pid;
    EXPECT_EQ(desktop.count("activate", std::to_string(c.looked)), 1) << c.pid;
    EXPECT_EQ(desktop.frontmostApplication()->pid, c.looked);
  }
}

TEST_F(Activate, ADeclinedActivationIsAnAnswer) {
  desktop.setActivateAnswer(42, false);
  EXPECT_EQ(verbActivate(hands, {{"pid", 42}}), (Json{{"activated", false}}));
  EXPECT_EQ(desktop.frontmostApplication()->pid, 1);
}

} // namespace
} // namespace plenk::hands
