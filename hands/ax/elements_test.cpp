#include "hands/ax/ax_test_support.hpp"
#include "hands/verbs.hpp"

#include <cmath>
#include <gtest/gtest.h>

namespace plenk::hands {
namespace {

using testing::APP_PID;
using testing::AxTest;
using testing::frame;
using testing::titled;
using testing::with;

struct Elements : AxTest {
  Element menuBar;

  Elements() {
    menuBar = desktop.create(APP_PID, {{"AXRole", std::string("AXMenuBar")}}, "menubar");
    desktop.set(app, "AXMenuBar", menuBar);
  }

  Element menuItem(Attributes attributes) {
    return desktop.add(menuBar, "AXMenuBarItem", attributes);
  }

  void menuItems(int n) {
    for (int i = 0; i < n; ++i)
      menuItem(titled("Menu " + std::to_string(i), frame(20.0 * i, 0, 18, 22)));
  }

  Json elements(const Json& args = Json::object()) { return verbElements(hands, args); }

  static std::vector<std::string> labels(const Json& result) {
    std::vector<std::string> out;
    for (const auto& r : result["elements"])
      out.push_back(r["label"]);
    return out;
  }
};

TEST_F(Elements, MaxIsAWholeNumberFromOneTo250) {
  for (int i = 0; i < 300; ++i)
    button("b" + std::to_string(i));
  const std::pair<Json, std::size_t> cases[] = {
      {Json::object(), 250}, {{{"max", 3.7}}, 3},       {{{"max", 0}}, 1},
      {{{"max", -5}}, 1},    {{{"max", 1000}}, 250},    {{{"max", "12"}}, 250},
      {{{"max", true}}, 1},  {{{"max", nullptr}}, 250},
  };
  for (const auto& [args, size] : cases)
    EXPECT_EQ(elements(args)["elements"].size(), size) << args.dump();
}

TEST_F(Elements, MenuBarThenInteractiveThenTexts) {
  menuItems(12);
  for (int i = 0; i < 300; ++i)
    button("b" + std::to_string(i));
  staticText("a note");
  Json result = elements();
  auto got = labels(result);
  ASSERT_EQ(got.size(), 250u);
  EXPECT_EQ(got[0], "Menu 0");
  EXPECT_EQ(got[11], "Menu 11");
  EXPECT_EQ(got[12], "b0");
  EXPECT_EQ(got[249], "b237");
  EXPECT_EQ(result["truncated"], false);
  EXPECT_EQ(result["window"], "Draft");
  EXPECT_EQ(result["app"]["name"], "Notes");
}

TEST_F(Elements, TextsFillWhatIsLeftUpToMax) {
  menuItems(2);
  for (int i = 0; i < 5; ++i)
    button("b" + std::to_string(i));
  for (int i = 0; i < 400; ++i)
    staticText("t" + std::to_string(i));
  auto got = labels(elements({{"max", 20}}));
  ASSERT_EQ(got.size(), 20u);
  EXPECT_EQ(got[1], "Menu 1");
  EXPECT_EQ(got[6], "b4");
  EXPECT_EQ(got[7], "t0");
  EXPECT_EQ(got[19], "t12");
}

TEST_F(Elements, MenuBarItemsRules) {
  menuItem(frame(0, 0, 20, 22)); // nothing labels it
  menuItem(titled("Thin", frame(0, 0, 0.5, 22)));
  menuItem(titled("Flat", frame(30, 0, 30, 0)));
  menuItem(titled("Nowhere"));
  menuItem(titled("Not a number", frame(0, std::nan(""), 20, 22)));
  desktop.add(menuBar, "AXMenuItem", titled("Not a bar item", frame(0, 0, 20, 20)));
  desktop.add(menuBar, "", titled("Roleless", frame(0, 0, 20, 20)));
  menuItem(titled("Off screen", frame(5000, 5000, 40, 22))); // no clipping in the menu bar
  menuItems(40);
  auto got = labels(elements());
  ASSERT_EQ(got.size(), 30u);
  EXPECT_EQ(got[0], "Apple");
  EXPECT_EQ(got[1], "Flat");
  EXPECT_EQ(got[2], "Off screen");
  EXPECT_EQ(got[3], "Menu 0");
  EXPECT_EQ(got[29], "Menu 26");
  Json first = elements()["elements"][0];
  EXPECT_EQ(first["role"], "menubaritem");
}

TEST_F(Elements, NoWindowGivesTheMenuBarOnly) {
  menuItems(3);
  desktop.unset(app, "AXFocusedWindow");
  button("unseen");
  Json result = elements();
  EXPECT_EQ(result["window"], "");
  EXPECT_EQ(labels(result), (std::vector<std::string>{"Menu 0", "Menu 1", "Menu 2"}));
  EXPECT_EQ(result["truncated"], false);
}

TEST_F(Elements, UnreadableWindowRectangleClipsNothing) {
  desktop.unset(window, "AXSize");
  button("far away", 5000, 5000);
  Element menu = add("AXMenu", frame(0, 0, 100, 100));
  desktop.add(menu, "AXMenuItem", titled("Paste", frame(0, 0, 100, 20)));
  EXPECT_EQ(labels(elements()), (std::vector<std::string>{"far away", "Paste"}));
}

TEST_F(Elements, PasswordFieldAndFocusedMark) {
  Element secret =
      add("AXSecureTextField",
          titled("Password", with(frame(10, 10, 100, 20), {{"AXValue", std::string("hunter2")}})));
  Element search = add("AXTextField", titled("Search", frame(10, 40, 100, 20)));
  desktop.focus(search);
  Json result = elements();
  ASSERT_EQ(result["elements"].size(), 2u);
  EXPECT_EQ(result["elements"][0], Json::parse(R"({"role":"textfield","label":"Password","x":10,
                                     "y":10,"w":100,"h":20,"enabled":true,"secure":true})"));
  EXPECT_EQ(result["elements"][1]["focused"], true);
  EXPECT_EQ(desktop.reads(secret, "AXValue"), 0);
}

TEST_F(Elements, TruncatedReportsTheBudgetOnly) {
  for (int i = 0; i < 9999; ++i)
    add("AXGroup");
  Json result = elements({{"max", 5}});
  EXPECT_EQ(result["truncated"], true);
}

TEST_F(Elements, TheMenuBarIsSpentOutOfTheWalksTime) {
  // Each menu-bar item costs 7 reads of 1/16 s: ten of them outlast the four seconds.
  menuItems(10);
  Element late = button("never reached");
  desktop.setAppLatency(APP_PID, 1.0 / 16);
  Json result = elements();
  EXPECT_EQ(labels(result).size(), 10u);
  EXPECT_EQ(result["truncated"], true);
  EXPECT_EQ(desktop.reads(late, "AXRole"), 0);
}

TEST_F(Elements, ChecksInOrderAndSetsUpTheApplication) {
  desktop.trusted = false;
  try {
    elements({{"max", "x"}});
    FAIL() << "answered";
  } catch (const HandsError& e) {
    EXPECT_EQ(e.code, "no_permission");
  }
  EXPECT_EQ(desktop.count("copyAttribute"), 0);

  desktop.trusted = true;
  desktop.setFrontmost(std::nullopt);
  try {
    elements();
    FAIL() << "answered";
  } catch (const HandsError& e) {
    EXPECT_EQ(e.code, "helper_failed");
    EXPECT_EQ(e.message, "macOS did not say which app is in front.");
  }
  EXPECT_EQ(desktop.count("setAttribute"), 0);
}

TEST_F(Elements, WakesTheAppAndWaitsForABrowserPage) {
  Element chromeApp = desktop.addApp(testing::runningApp(300, "Chrome", "com.google.Chrome"));
  Element browserWindow = desktop.add(chromeApp, "AXWindow", titled("Tab", frame(0, 0, 500, 500)));
  desktop.set(chromeApp, "AXFocusedWindow", browserWindow);
  Element web = desktop.add(browserWindow, "AXWebArea", frame(0, 0, 500, 500));
  desktop.setFrontmost(300);
  desktop.at(
      0.5, [web](MemoryDesktop& d) { d.add(web, "AXLink", titled("Home", frame(1, 1, 50, 10))); });
  std::int64_t start = micros();
  Json result = elements();
  EXPECT_EQ(micros() - start, 600'000); // looks at 0, 0.15, 0.3, 0.45 and 0.6 s
  EXPECT_EQ(labels(result), (std::vector<std::string>{"Home"}));
  EXPECT_EQ(desktop.timeoutOf(300), 1.0);
  std::vector<std::string> written;
  for (const auto& w : desktop.writes())
    written.push_back(w.name);
  EXPECT_EQ(written,
            (std::vector<std::string>{"AXManualAccessibility", "AXEnhancedUserInterface"}));
}

} // namespace
} // namespace plenk::hands
