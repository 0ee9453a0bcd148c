#include "hands/ax/ax_test_support.hpp"
#include "hands/verbs.hpp"

#include <gtest/gtest.h>

namespace plenk::hands {
namespace {

using testing::APP_PID;
using testing::AxTest;
using testing::frame;
using testing::with;

struct AppAt : AxTest {
  HandsError failure(const Json& args) {
    try {
      verbAppAt(hands, args);
    } catch (const HandsError& e) {
      return e;
    }
    ADD_FAILURE() << "answered";
    return {};
  }
};

TEST_F(AppAt, AnswersTheOwnerRoleAndSecureMark) {
  Element password = add("AXTextField", with(frame(100, 100, 200, 20),
                                             {{"AXSubrole", std::string("AXSecureTextField")}}));
  desktop.setHitAnswer({150, 110}, {AxStatus::ok, password});
  Json result = verbAppAt(hands, {{"x", 150}, {"y", 110}});
  EXPECT_EQ(result, Json::parse(R"({"app":{"name":"Notes","bundle_id":"com.example.Notes",
                                   "pid":100},"role":"AXTextField","secure":true})"));

  Element unreadable = add("");
  desktop.fail(unreadable, "AXRole", AxStatus::cannotComplete);
  desktop.setHitAnswer({1, 2}, {AxStatus::ok, unreadable});
  result = verbAppAt(hands, {{"x", 1}, {"y", 2}});
  EXPECT_EQ(result["role"], "");
  EXPECT_EQ(result["secure"], false);
}

TEST_F(AppAt, TrustIsCheckedBeforeTheArguments) {
  desktop.trusted = false;
  HandsError e = failure({{"y", 1}});
  EXPECT_EQ(e.code, "no_permission");
  EXPECT_EQ(e.message, "Accessibility is not allowed for Plenk AI in System Settings.");
  EXPECT_EQ(desktop.count("elementAtPosition"), 0);
}

TEST_F(AppAt, PointFailuresPassThrough) {
  EXPECT_EQ(failure({{"x", "12"}, {"y", 1}}).message, "x and y must be numbers.");
  EXPECT_EQ(failure({{"x", 100000.5}, {"y", 1}}).message, "That point is nowhere on any screen.");
  EXPECT_EQ(desktop.count("elementAtPosition"), 0);
}

TEST_F(AppAt, HitTestAndOwnerFailures) {
  desktop.setHitAnswer({5, 5}, {AxStatus::cannotComplete, std::nullopt});
  HandsError e = failure({{"x", 5}, {"y", 5}});
  EXPECT_EQ(e.code, "helper_failed");
  EXPECT_EQ(e.message, "macOS did not say what is at that point.");

  desktop.setHitAnswer({6, 6}, {AxStatus::ok, std::nullopt});
  EXPECT_EQ(failure({{"x", 6}, {"y", 6}}).message, "macOS did not say what is at that point.");

  Element orphan = add("AXButton");
  desktop.failPid(orphan, AxStatus::invalidElement);
  desktop.setHitAnswer({7, 7}, {AxStatus::ok, orphan});
  e = failure({{"x", 7}, {"y", 7}});
  EXPECT_EQ(e.code, "helper_failed");
  EXPECT_EQ(e.message, "macOS did not say which app owns that point.");

  Element ghost = desktop.create(4242, {{"AXRole", std::string("AXButton")}});
  desktop.setHitAnswer({8, 8}, {AxStatus::ok, ghost});
  EXPECT_EQ(failure({{"x", 8}, {"y", 8}}).message, "macOS did not say which app owns that point.");
}

TEST_F(AppAt, HitTestsTheSystemWideElementAtFloatPrecision) {
  button("Go", 10, 10);
  Json result = verbAppAt(hands, {{"x", 20.000000001}, {"y", 15}});
  EXPECT_EQ(result["role"], "AXButton");
  EXPECT_EQ(result["app"]["pid"], APP_PID);
  // No messaging timeout is set for the hit-test.
  EXPECT_EQ(desktop.count("setMessagingTimeout"), 0);
}

} // namespace
} // namespace plenk::hands
