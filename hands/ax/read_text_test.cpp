#include "hands/ax/ax_test_support.hpp"
#include "hands/verbs.hpp"
#include "platform/text.hpp"

#include <gtest/gtest.h>

namespace plenk::hands {
namespace {

using testing::AxTest;
using testing::frame;
using testing::titled;
using testing::with;

struct ReadText : AxTest {
  Json read(const Json& args = Json::object()) { return verbReadText(hands, args); }
  std::string text(const Json& args = Json::object()) { return read(args)["text"]; }
  Element withRole(std::string role, Attributes attributes, std::optional<Element> parent = {}) {
    return add(std::move(role), with(std::move(attributes), frame(10, 10, 100, 20)), parent);
  }
};

TEST_F(ReadText, MaxCharsIsAWholeNumberFromOneTo50000) {
  staticText(std::string(60000, 'a'));
  const std::pair<Json, std::size_t> cases[] = {
      {Json::object(), 8000},    {{{"max_chars", 0}}, 1},      {{{"max_chars", 60000}}, 50000},
      {{{"max_chars", 2.9}}, 2}, {{{"max_chars", "5"}}, 8000}, {{{"max_chars", -1}}, 1},
  };
  for (const auto& [args, size] : cases) {
    Json result = read(args);
    EXPECT_EQ(result["text"].get<std::string>().size(), size) << args.dump();
    EXPECT_EQ(result["truncated"], true);
  }
}

TEST_F(ReadText, OnlyConsecutiveRepeatsAreDropped) {
  for (const char* line : {"A", "A", "B", " A\n"})
    staticText(line);
  EXPECT_EQ(read(), Json::parse(R"({"text":"A\nB\nA","truncated":false})"));
}

TEST_F(ReadText, WhereEachRoleTakesItsText) {
  withRole("AXTextField", {{"AXValue", std::string("first line\nsecond line")}});
  withRole("AXTextArea", {{"AXValue", 3.0}});
  withRole("AXStaticText", titled("from title", {{"AXValue", std::string()}}));
  withRole("AXStaticText", titled("ignored title", {{"AXValue", std::string("   ")}}));
  withRole("AXLink", titled("", {{"AXDescription", std::string("ignored description")}}));
  withRole("AXLink", {{"AXDescription", std::string("described link")}});
  withRole("AXHeading", titled("Chapter", {{"AXValue", std::string("not read")}}));
  withRole("AXCell", titled("cell"));
  withRole("AXButton", titled("buttons give nothing"));
  withRole("AXStaticText", {});
  EXPECT_EQ(text(), "first line\nsecond line\n3\nfrom title\ndescribed link\nChapter\ncell");
}

TEST_F(ReadText, AHeadingsOwnTextIsNotRepeated) {
  Element heading = withRole("AXHeading", titled("Overview"));
  staticText("Overview", heading);
  staticText("Details", heading);
  EXPECT_EQ(text(), "Overview\nDetails");
}

TEST_F(ReadText, PasswordFieldsGiveNothing) {
  Element secure = withRole("AXSecureTextField", {{"AXValue", std::string("hunter2")}});
  Element inside = staticText("inside the secure field", secure);
  Element bySubrole = withRole("AXTextField", {{"AXSubrole", std::string("AXSecureTextField")},
                                               {"AXValue", std::string("hunter3")}});
  staticText("under a subrole field", bySubrole);
  EXPECT_EQ(text(), "under a subrole field");
  EXPECT_EQ(desktop.reads(secure, "AXValue"), 0);
  EXPECT_EQ(desktop.reads(bySubrole, "AXValue"), 0);
  EXPECT_EQ(desktop.reads(secure, "AXChildren"), 0);
  EXPECT_EQ(desktop.reads(inside, "AXRole"), 0);
}

TEST_F(ReadText, TextOutsideTheWindowIsSkippedButItsChildrenAreRead) {
  add("AXStaticText", with({{"AXValue", std::string("partly inside")}}, frame(790, 590, 50, 50)));
  Element outside =
      add("AXStaticText", with({{"AXValue", std::string("outside")}}, frame(900, 10, 50, 50)));
  staticText("child of outside", outside);
  add("AXStaticText", {{"AXValue", std::string("no position")}, {"AXSize", Size{0, 0}}});
  Element group = add("AXGroup", frame(5000, 5000, 1, 1));
  EXPECT_EQ(text(), "partly inside\nchild of outside\nno position");
  EXPECT_EQ(desktop.reads(group, "AXPosition"), 0); // only text roles are tested

  desktop.unset(window, "AXPosition");
  EXPECT_EQ(text(), "partly inside\noutside\nchild of outside\nno position");
}

TEST_F(ReadText, RunningTotalStopsTheWalkAndTheCutCountsCharacters) {
  staticText("abcd");
  staticText("efghijk");
  Element third = staticText("never read");
  EXPECT_EQ(read({{"max_chars", 10}}), Json::parse(R"({"text":"abcd\nefghi","truncated":true})"));
  EXPECT_EQ(desktop.reads(third, "AXRole"), 0);
}

TEST_F(ReadText, ReachingMaxCharsExactlyIsNotTruncated) {
  staticText("abcd");
  staticText("efgh");
  Element third = staticText("never read");
  EXPECT_EQ(read({{"max_chars", 10}}), Json::parse(R"({"text":"abcd\nefgh","truncated":false})"));
  EXPECT_EQ(desktop.reads(third, "AXRole"), 0);
}

TEST_F(ReadText, CutsByUserPerceivedCharacters) {
  const std::string accent = "e\xCC\x81", flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";
  staticText(accent + accent + flag + "x");
  Json result = read({{"max_chars", 3}});
  EXPECT_EQ(result["text"], accent + accent + flag);
  EXPECT_EQ(result["truncated"], true);
  EXPECT_EQ(text({{"max_chars", 4}}), accent + accent + flag + "x");
}

TEST_F(ReadText, VisitBudgetTruncates) {
  for (int i = 0; i < 7000; ++i)
    add("AXGroup");
  staticText("too late");
  EXPECT_EQ(read(), Json::parse(R"({"text":"","truncated":true})"));
}

TEST_F(ReadText, NoWindowAnswersEmpty) {
  desktop.unset(app, "AXFocusedWindow");
  EXPECT_EQ(read(), Json::parse(R"({"text":"","truncated":false})"));
}

TEST_F(ReadText, ChecksTrustFirstThenTheFrontApp) {
  desktop.trusted = false;
  try {
    read({{"max_chars", "x"}});
    FAIL() << "answered";
  } catch (const HandsError& e) {
    EXPECT_EQ(e.code, "no_permission");
  }
  desktop.trusted = true;
  desktop.setFrontmost(std::nullopt);
  try {
    read();
    FAIL() << "answered";
  } catch (const HandsError& e) {
    EXPECT_EQ(e.message, "macOS did not say which app is in front.");
  }
}

TEST_F(ReadText, ThePageWaitIsNotSpentOutOfTheWalksTime) {
  Element chromeApp = desktop.addApp(testing::runningApp(300, "Chrome", "com.google.Chrome"));
  Element browserWindow = desktop.add(chromeApp, "AXWindow", titled("Tab", frame(0, 0, 500, 500)));
  desktop.set(chromeApp, "AXFocusedWindow", browserWindow);
  Element web = desktop.add(browserWindow, "AXWebArea", frame(0, 0, 500, 500));
  desktop.setFrontmost(300);
  // The page fills after two seconds with 30 texts that are slow to read: about 3.3 s of walking.
  desktop.at(2.0, [web](MemoryDesktop& d) {
    for (int i = 0; i < 30; ++i) {
      Element line = d.add(web, "AXStaticText",
                           with({{"AXValue", "line " + std::to_string(i)}}, frame(1, 1, 9, 9)));
      d.setLatency(line, 1.0 / 64);
    }
  });
  std::int64_t start = micros();
  Json result = read();
  EXPECT_GT(micros() - start, 5'000'000);
  EXPECT_EQ(result["truncated"], false);
  EXPECT_TRUE(result["text"].get<std::string>().ends_with("line 29"));
}

} // namespace
} // namespace plenk::hands
