#include "hands/apps/apps_test_support.hpp"
#include "hands/apps/resolve.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {
namespace {

using testing::app;
using testing::AppsTest;
using testing::expectError;
using testing::thrownBy;

const std::string NAME_AN_APP = "Name an app, like Keynote or com.apple.iWork.Keynote.";

struct Resolve : AppsTest {
  Resolve() {
    desktop.addBundle("/Applications/Keynote.app", "com.apple.iWork.Keynote");
    desktop.addBundle("/System/Applications/Maps.app", "com.apple.Maps");
    desktop.addBundle("/home/user/Applications/Bare.app", std::nullopt);
  }
  Json resolve(const Json& args) { return verbResolveApp(hands, args)["app"]; }
  Json record(std::string name, std::string bundleId) {
    return {{"name", std::move(name)}, {"bundle_id", std::move(bundleId)}, {"pid", 0}};
  }
};

TEST(AppName, LastComponentWithoutItsExtension) {
  struct Case {
    const char* path;
    const char* name;
  } cases[] = {{"/Applications/Keynote.app", "Keynote"},
               {"/Applications/X.Y.app", "X.Y"},
               {"/Applications/Keynote.app/", "Keynote"},
               {"/opt/Tool", "Tool"},
               {"Relative.app", "Relative"},
               {"/opt/.hidden", ".hidden"}};
  for (const auto& c : cases)
    EXPECT_EQ(appName(c.path), c.name) << c.path;
}

TEST_F(Resolve, SpellingsOfOneNameResolveAlike) {
  for (const char* name :
       {"Keynote", "keynote", "KEYNOTE.app", " Keynote\t", "\u3000keynote.APP\n"})
    EXPECT_EQ(resolve({{"name", name}}), record("Keynote", "com.apple.iWork.Keynote")) << name;
}

TEST_F(Resolve, BundleIdentifierFirstOnlyWhenTheTextLooksLikeOne) {
  struct Case {
    const char* name;
    int bundleLookups;
  } cases[] = {{"com.apple.iWork.Keynote", 1},
               {"COM.APPLE.IWORK.KEYNOTE", 1},
               {"Keynote.app", 0},
               {"Keynote.APP", 0},
               {"Keynote", 0}};
  for (const auto& c : cases) {
    desktop.clearCalls();
    EXPECT_EQ(resolve({{"name", c.name}}), record("Keynote", "com.apple.iWork.Keynote")) << c.name;
    EXPECT_EQ(desktop.count("applicationPathForBundleId"), c.bundleLookups) << c.name;
  }
  // Found by identifier: not a folder was read.
  desktop.clearCalls();
  resolve({{"name", "com.apple.Maps"}});
  EXPECT_EQ(desktop.count("contentsOfDirectory"), 0);
  EXPECT_EQ(desktop.count("runningApplications"), 0);
}

TEST_F(Resolve, ADottedNameWithASpaceIsOnlyAName) {
  desktop.addBundle("/Applications/Tool 2.5.app", "com.example.tool");
  EXPECT_EQ(resolve({{"name", "tool 2.5"}}), record("Tool 2.5", "com.example.tool"));
  EXPECT_EQ(desktop.count("applicationPathForBundleId"), 0);
}

TEST_F(Resolve, AnUnknownIdentifierIsTriedAsAName) {
  desktop.addBundle("/Applications/org.example.Odd.app", std::nullopt);
  EXPECT_EQ(resolve({{"name", "org.example.odd"}}), record("org.example.Odd", ""));
  EXPECT_EQ(desktop.count("applicationPathForBundleId"), 1);
}

TEST_F(Resolve, RunningRegularAppsByDisplayNameBeforeTheFolders) {
  // Display name differs from the bundle's file name; the answer names the bundle.
  desktop.addApp(app(10, "Slides", "com.apple.iWork.Keynote", "/Applications/Keynote.app"));
  EXPECT_EQ(resolve({{"name", "slides"}}), record("Keynote", "com.apple.iWork.Keynote"));

  // Running and installed: the running one's bundle wins.
  desktop.addBundle("/Volumes/Old/Maps.app", "com.apple.Maps.old");
  desktop.addApp(app(11, "Maps", "com.apple.Maps.old", "/Volumes/Old/Maps.app"));
  EXPECT_EQ(resolve({{"name", "Maps"}}), record("Maps", "com.apple.Maps.old"));
}

TEST_F(Resolve, RunningAppsPassedOver) {
  // Not regular, or without a bundle location: the folders answer.
  desktop.addBundle("/Volumes/X/Keynote.app", "x.accessory");
  desktop.addBundle("/Volumes/Y/Keynote.app", "y.prohibited");
  desktop.addApp(app(20, "Keynote", "x", "/Volumes/X/Keynote.app", ActivationPolicy::accessory));
  desktop.addApp(app(21, "Keynote", "y", "/Volumes/Y/Keynote.app", ActivationPolicy::prohibited));
  desktop.addApp(app(22, "Keynote", "z", std::nullopt));
  EXPECT_EQ(resolve({{"name", "Keynote"}}), record("Keynote", "com.apple.iWork.Keynote"));
}

TEST_F(Resolve, FoldersInOrderUnreadableOnesSkipped) {
  desktop.setFolder("/Applications/Utilities", std::nullopt);
  desktop.addBundle("/System/Applications/Utilities/Terminal.app", "com.apple.Terminal");
  desktop.addBundle("/home/user/Applications/Terminal.app", "user.Terminal");
  EXPECT_EQ(resolve({{"name", "terminal"}}), record("Terminal", "com.apple.Terminal"));
  EXPECT_EQ(desktop.count("contentsOfDirectory", "/Applications/Utilities"), 1);
  // The home folder's own applications are searched last, and a bundle without identifier is
  // answered with "".
  EXPECT_EQ(resolve({{"name", "Bare"}}), record("Bare", ""));
}

TEST_F(Resolve, NothingIsRememberedBetweenRequests) {
  expectError(thrownBy([&] {
                resolve({{"name", "Fresh"}});
              }),
              "not_found", "There is no app called Fresh on this Mac.");
  desktop.addBundle("/Applications/Fresh.app", "com.example.Fresh");
  EXPECT_EQ(resolve({{"name", "Fresh"}}), record("Fresh", "com.example.Fresh"));
}

TEST_F(Resolve, PidIsZeroEvenForARunningApp) {
  desktop.addApp(app(321, "Keynote", "com.apple.iWork.Keynote", "/Applications/Keynote.app"));
  for (const char* name : {"Keynote", "com.apple.iWork.Keynote", "Maps"})
    EXPECT_EQ(resolve({{"name", name}})["pid"], 0) << name;
}

TEST_F(Resolve, RefusedNames) {
  std::string tooLong(201, 'k');
  // 200 characters of two code points each are not too long.
  std::string combining;
  for (int i = 0; i < 200; ++i)
    combining += "e\u0301";
  Json refused[] = {Json::object(),
                    {{"name", 42}},
                    {{"name", nullptr}},
                    {{"name", ""}},
                    {{"name", " \n\u00a0"}},
                    {{"name", tooLong}},
                    {{"name", combining + "e"}},
                    {{"name", "/Applications/Keynote.app"}},
                    {{"name", "Key/note"}},
                    {{"name", std::string("Key\0note", 8)}}};
  for (const auto& args : refused) {
    expectError(thrownBy([&] { resolve(args); }), "bad_args", NAME_AN_APP);
  }
  EXPECT_EQ(desktop.count("applicationPathForBundleId") + desktop.count("runningApplications") +
                desktop.count("contentsOfDirectory"),
            0);
  // At the limit the name is searched.
  for (const auto& name : {std::string(200, 'k'), combining})
    expectError(thrownBy([&] {
                  resolve({{"name", name}});
                }),
                "not_found", "There is no app called " + name + " on this Mac.");
}

TEST_F(Resolve, NotFoundCarriesTheTrimmedTextAsTyped) {
  expectError(thrownBy([&] {
                resolve({{"name", "  Nope.App \t"}});
              }),
              "not_found", "There is no app called Nope.App on this Mac.");
  expectError(thrownBy([&] {
                resolve({{"name", "org.example.None"}});
              }),
              "not_found", "There is no app called org.example.None on this Mac.");
}

TEST_F(Resolve, DotAppAloneNamesNothing) {
  // A nameless running application and a bundle called ".app" are not what ".app" asks for.
  desktop.addApp(app(30, std::nullopt, "com.example.nameless", "/Applications/Keynote.app"));
  desktop.setFolder("/Applications", std::vector<std::string>{".app"});
  expectError(thrownBy([&] {
                resolve({{"name", ".APP"}});
              }),
              "not_found", "There is no app called .APP on this Mac.");
}

} // namespace
} // namespace plenk::hands
