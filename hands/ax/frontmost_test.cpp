#include "hands/ax/app_facts.hpp"
#include "hands/ax/ax_test_support.hpp"
#include "hands/verbs.hpp"

#include <gtest/gtest.h>

namespace plenk::hands {
namespace {

using testing::APP_PID;
using testing::AxTest;

using Frontmost = AxTest;

TEST_F(Frontmost, AppAndWindowTitle) {
  Json result = verbFrontmost(hands, Json::object());
  EXPECT_EQ(result, Json::parse(R"({"app":{"name":"Notes","bundle_id":"com.example.Notes",
                                   "pid":100},"window":"Draft"})"));
  EXPECT_EQ(desktop.timeoutOf(APP_PID), 1.0);
}

TEST_F(Frontmost, TitleIsFoldedTrimmedAndClipped) {
  desktop.set(window, "AXTitle", std::string(" Budget\n2027  "));
  EXPECT_EQ(verbFrontmost(hands, {})["window"], "Budget 2027");
  desktop.set(window, "AXTitle", std::string(250, 't'));
  EXPECT_EQ(verbFrontmost(hands, {})["window"], std::string(200, 't'));
}

TEST_F(Frontmost, WindowFallsBackToMainWindowThenEmpty) {
  desktop.unset(app, "AXFocusedWindow");
  desktop.set(app, "AXMainWindow", window);
  EXPECT_EQ(verbFrontmost(hands, {})["window"], "Draft");
  desktop.unset(window, "AXTitle");
  EXPECT_EQ(verbFrontmost(hands, {})["window"], "");
  desktop.unset(app, "AXMainWindow");
  EXPECT_EQ(verbFrontmost(hands, {})["window"], "");
}

TEST_F(Frontmost, WithoutTrustTheWindowIsEmpty) {
  desktop.trusted = false;
  Json result = verbFrontmost(hands, {});
  EXPECT_EQ(result["app"]["pid"], APP_PID);
  EXPECT_EQ(result["window"], "");
  EXPECT_EQ(desktop.reads(window, "AXTitle"), 0);
}

TEST_F(Frontmost, FallsBackToTheWorkspaceWhenTheFocusedAppIsUnusable) {
  Element other = desktop.addApp(testing::runningApp(200, "Other"));
  desktop.set(desktop.systemWide(), "AXFocusedApplication", other);
  EXPECT_EQ(frontmostApp(hands)->pid, 200);

  desktop.failPid(other, AxStatus::failure);
  EXPECT_EQ(frontmostApp(hands)->pid, APP_PID);

  Element zero = desktop.create(0, {}, "zero");
  desktop.set(desktop.systemWide(), "AXFocusedApplication", zero);
  EXPECT_EQ(frontmostApp(hands)->pid, APP_PID);

  Element ghost = desktop.create(4242, {}, "ghost");
  desktop.set(desktop.systemWide(), "AXFocusedApplication", ghost);
  EXPECT_EQ(frontmostApp(hands)->pid, APP_PID);
}

TEST_F(Frontmost, NoFrontmostAppAtAll) {
  desktop.setFrontmost(std::nullopt);
  try {
    verbFrontmost(hands, {});
    FAIL() << "answered";
  } catch (const HandsError& e) {
    EXPECT_EQ(e.code, "helper_failed");
    EXPECT_EQ(e.message, "macOS did not say which app is in front.");
  }
}

TEST(AppInfo, MissingNamesAreEmpty) {
  EXPECT_EQ(appInfo(testing::runningApp(3)), Json::parse(R"({"name":"","bundle_id":"","pid":3})"));
  EXPECT_EQ(appInfo(testing::runningApp(4, "A", "Org.Example.A"))["bundle_id"], "Org.Example.A");
}

} // namespace
} // namespace plenk::hands
