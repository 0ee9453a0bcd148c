#include "hands/ax/ax_test_support.hpp"
#include "hands/ax/browser.hpp"

#include <gtest/gtest.h>

namespace plenk::hands {
namespace {

using testing::AxTest;

RunningApp withBundle(std::optional<std::string> bundleId) {
  return testing::runningApp(7, "x", std::move(bundleId));
}

TEST(ChromiumBrowser, ByBundlePrefixIgnoringCase) {
  const std::pair<std::optional<std::string>, bool> cases[] = {
      {"com.google.Chrome", true},
      {"COM.GOOGLE.CHROME.CANARY", true},
      {"com.google.chromecast.helper", true}, // a prefix without a final dot matches longer ids
      {"org.chromium.Chromium", true},
      {"org.chromiumx", false},
      {"com.microsoft.edgemac.Dev", true},
      {"com.brave.Browser.beta", true},
      {"company.thebrowser.Browser", true},
      {"com.vivaldi.Vivaldi", true},
      {"com.operasoftware.Opera", true},
      {"chromium", true}, // desktop ids on Linux
      {"chromium-browser", true},
      {"google-chrome-beta", true},
      {"microsoft-edge", true},
      {"brave-browser", true},
      {"vivaldi-stable", true},
      {"org.gnome.Epiphany", false},
      {"firefox-esr", false},
      {"com.apple.Safari", false},
      {"", false},
      {std::nullopt, false},
  };
  for (const auto& [id, browser] : cases)
    EXPECT_EQ(isChromiumBrowser(withBundle(id)), browser) << id.value_or("<none>");
}

using Browser = AxTest;

TEST_F(Browser, WakeWritesOnEveryCall) {
  wakeAccessibility(desktop, app, withBundle("com.example.Notes"));
  wakeAccessibility(desktop, app, withBundle("com.google.Chrome"));
  auto writes = desktop.writes();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].name, "AXManualAccessibility");
  EXPECT_EQ(writes[1].name, "AXManualAccessibility");
  EXPECT_EQ(writes[2].name, "AXEnhancedUserInterface");
  for (const auto& w : writes)
    EXPECT_EQ(w.value, AttrValue{true});
}

TEST_F(Browser, PageFilledAnswersTrueFalseOrNothing) {
  EXPECT_EQ(pageFilled(desktop, window), std::nullopt);

  Element web = add("AXWebArea", {}, add("AXGroup"));
  EXPECT_EQ(pageFilled(desktop, window), false);

  add("AXStaticText", {}, web);
  EXPECT_EQ(pageFilled(desktop, window), true);
}

TEST_F(Browser, PageSearchStopsAtDepthTwentyAndFourHundredElements) {
  Element parent = window;
  for (int depth = 1; depth <= 20; ++depth)
    parent = add("AXGroup", {}, parent);
  Element deep = add("AXWebArea", {}, parent); // depth 21: its parent is examined, not expanded
  add("AXStaticText", {}, deep);
  EXPECT_EQ(pageFilled(desktop, window), std::nullopt);
  EXPECT_EQ(desktop.reads(deep, "AXRole"), 0);

  // Siblings are examined last first; the web area as first child lies beyond 400 elements.
  Element wide = add("AXGroup");
  Element late = add("AXWebArea", {}, wide);
  add("AXStaticText", {}, late);
  for (int i = 0; i < 400; ++i)
    add("AXGroup", {}, wide);
  EXPECT_EQ(pageFilled(desktop, window), std::nullopt);
  EXPECT_EQ(desktop.reads(late, "AXRole"), 0);
}

struct PageWait : AxTest {
  RunningApp chrome = testing::runningApp(testing::APP_PID, "Chrome", "com.google.Chrome");
  std::int64_t waitMicros() {
    std::int64_t start = micros();
    waitForPage(hands, window, chrome);
    return micros() - start;
  }
};

TEST_F(PageWait, FirstTimeWaitsForAWebAreaLaterTimesDoNot) {
  // Looks at 0, 0.15, ..., 2.4 s; after the sleep at 2.4 the deadline has passed.
  EXPECT_EQ(waitMicros(), 2'550'000);
  EXPECT_TRUE(hands.wokenBrowsers.contains(testing::APP_PID));
  EXPECT_EQ(waitMicros(), 0);
}

TEST_F(PageWait, EmptyWebAreaWaitsEveryTime) {
  add("AXWebArea");
  EXPECT_EQ(waitMicros(), 2'550'000);
  EXPECT_EQ(waitMicros(), 2'550'000);
}

TEST_F(PageWait, EndsWhenThePageFills) {
  Element web = add("AXWebArea");
  desktop.at(1.0, [web](MemoryDesktop& d) { d.add(web, "AXStaticText"); });
  EXPECT_EQ(waitMicros(), 1'050'000);
  EXPECT_EQ(waitMicros(), 0);
}

TEST_F(PageWait, FilledPageOrOtherAppsDoNotWait) {
  add("AXStaticText", {}, add("AXWebArea"));
  EXPECT_EQ(waitMicros(), 0);
  EXPECT_TRUE(hands.wokenBrowsers.contains(testing::APP_PID)); // seen, though nothing was waited

  desktop.clearCalls();
  std::int64_t start = micros();
  waitForPage(hands, window, testing::runningApp(5, "Notes", "com.example.x"));
  EXPECT_EQ(micros() - start, 0);
  EXPECT_FALSE(hands.wokenBrowsers.contains(5));
  EXPECT_TRUE(desktop.calls().empty());
}

} // namespace
} // namespace plenk::hands
