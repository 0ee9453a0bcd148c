#include "hands/apps/apps_test_support.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {
namespace {

using testing::app;
using testing::AppsTest;

using Names = std::vector<std::string>;

struct ListApps : AppsTest {
  Json list() { return verbListApps(hands, Json::object()); }
  Names installed() { return list()["installed"].get<Names>(); }
  // `count` bundles named prefix + number, as a listing.
  static Names bundles(const std::string& prefix, int count) {
    Names names;
    for (int i = 0; i < count; ++i)
      names.push_back(prefix + std::to_string(1000 + i) + ".app");
    return names;
  }
};

TEST_F(ListApps, RunningRegularAppsInTheirOrderWithoutPids) {
  desktop.addApp(app(3, "Zeta", "com.example.zeta"));
  desktop.addApp(app(4, "Helper", "com.example.helper", std::nullopt, ActivationPolicy::accessory));
  desktop.addApp(app(5, std::nullopt, std::nullopt));
  desktop.addApp(app(6, "Daemon", std::nullopt, std::nullopt, ActivationPolicy::prohibited));
  desktop.addApp(app(7, "Zeta", "com.example.zeta"));
  EXPECT_EQ(list()["running"], Json::parse(R"([{"name":"Zeta","bundle_id":"com.example.zeta"},
                                                {"name":"","bundle_id":""},
                                                {"name":"Zeta","bundle_id":"com.example.zeta"}])"));
}

TEST_F(ListApps, NothingReadableIsEmpty) {
  Json answer = list();
  EXPECT_EQ(answer["installed"], Json::array());
  EXPECT_EQ(answer["running"], Json::array());
  EXPECT_EQ(desktop.count("contentsOfDirectory"), 5);
}

TEST_F(ListApps, EachFolderSortedByCodePointsOfTheComposedForm) {
  // "E" + combining acute composes to U+00C9, which sorts after every ASCII letter.
  desktop.setFolder("/Applications", Names{"calendar.app", "E\u0301clair.app", "Zoom.app",
                                           "apple.app", "Eclair.app", "Zoom 2.app"});
  desktop.setFolder("/System/Applications", Names{"Books.app", "Atlas.app"});
  EXPECT_EQ(installed(), (Names{"Eclair", "Zoom 2", "Zoom", "apple", "calendar", "E\u0301clair",
                                "Atlas", "Books"}));
}

TEST_F(ListApps, OnlyExactDotAppEndingsCount) {
  desktop.setFolder("/Applications", Names{"Tool.APP", "Tool.app.zip", ".app", "Notes.txt",
                                           "Tool.App", "Tool.app", "Readme"});
  EXPECT_EQ(installed(), Names{"Tool"});
}

TEST_F(ListApps, NamesThatAreNotUtf8LeaveTheAnswerWritable) {
  desktop.setFolder("/Applications", Names{"Bad\xFF.app", "Good.app"});
  desktop.addApp(app(8, "Odd\xC3", "com.example.odd"));
  Json answer = list();
  EXPECT_EQ(answer["installed"], Json::array({"Good"}));
  EXPECT_EQ(answer["running"][0]["name"], "Odd\uFFFD");
  EXPECT_TRUE(json::writeCompact(answer).has_value());
}

TEST_F(ListApps, TheFirstFolderHoldingANameWins) {
  desktop.setFolder("/Applications/Utilities", std::nullopt);
  desktop.setFolder("/System/Applications", Names{"Maps.app", "Über.app"});
  desktop.setFolder("/home/user/Applications", Names{"MAPS.app", "über.app", "Mine.app"});
  EXPECT_EQ(installed(), (Names{"Maps", "Über", "Mine"}));
}

TEST_F(ListApps, ExactlyThreeHundredNamesAndNoFolderReadAfterThem) {
  // 150 + 150 new names reach the bound on the last entry of the second folder; duplicates in
  // between do not count.
  Names second = bundles("b", 150);
  for (const auto& name : bundles("a", 40))
    second.push_back(name);
  desktop.setFolder("/Applications", bundles("a", 150));
  desktop.setFolder("/Applications/Utilities", second);
  desktop.setFolder("/System/Applications", bundles("c", 10));
  Names names = installed();
  ASSERT_EQ(names.size(), 300u);
  EXPECT_EQ(names.front(), "a1000");
  EXPECT_EQ(names.back(), "b1149");
  EXPECT_EQ(desktop.count("contentsOfDirectory", "/Applications/Utilities"), 1);
  EXPECT_EQ(desktop.count("contentsOfDirectory", "/System/Applications"), 0);
  EXPECT_EQ(desktop.count("contentsOfDirectory", "/home/user/Applications"), 0);

  // Within one folder the listing stops at the bound as well.
  desktop.setFolder("/Applications", bundles("a", 1000));
  names = installed();
  ASSERT_EQ(names.size(), 300u);
  EXPECT_EQ(names.back(), "a1299");

  // 299 names leave room for one from the next folder.
  desktop.setFolder("/Applications", bundles("a", 299));
  desktop.setFolder("/Applications/Utilities", bundles("a", 299));
  names = installed();
  ASSERT_EQ(names.size(), 300u);
  EXPECT_EQ(names.back(), "c1000");
}

} // namespace
} // namespace plenk::hands
