#include "platform/linux/gnome_shell.hpp"

#include <gtest/gtest.h>

namespace plenk::gnome {
namespace {

// The extension's answer as GNOME Shell 43 gave it for a GTK 3 window drawing its shadows, a
// GTK 4 one partly off the screen's left edge, and an XWayland window; then what a broken or
// foreign answer may hold.
TEST(GnomeShell, TheExtensionsListGivesEachWindowsFactsAndBrokenEntriesAreLeftOut) {
  auto windows = parseWindows(R"([
    {"id":483539504,"pid":22729,"title":"G3","wmClass":"plenk-gtk3-test","wmInstance":"plenk-gtk3-test",
     "appId":"","x11":false,"frame":[319,88,640,597],"buffer":[293,65,692,649],"focused":false,"visible":true},
    {"id":483539505,"pid":22727,"title":"G4","wmClass":"plenk-gtk4-test","appId":"org.example.Four",
     "x11":false,"frame":[0,32,640,560],"buffer":[-14,20,668,589],"focused":true,"visible":true},
    {"id":7,"pid":0,"title":"xterm","wmClass":"XTerm","wmInstance":"xterm","x11":true,
     "frame":[10,10,300,200],"buffer":[10,10,300,200],"visible":false},
    {"id":-1,"title":"negative id"}, {"title":"no id"}, 12, null,
    {"id":8,"pid":"nine","title":3,"frame":[1,2],"buffer":"none"}])");
  ASSERT_TRUE(windows);
  ASSERT_EQ(windows->size(), 4u);
  const Window& g3 = (*windows)[0];
  EXPECT_EQ(g3.id, 483539504);
  EXPECT_EQ(g3.pid, 22729);
  EXPECT_EQ(g3.appId, "plenk-gtk3-test");
  EXPECT_EQ(g3.frame, (sway::Box{319, 88, 640, 597}));
  EXPECT_EQ(g3.bufferDx, 26);
  EXPECT_EQ(g3.bufferDy, 23);
  EXPECT_TRUE(!g3.focused && g3.visible && !g3.x11);
  // The app_id first, as sway gives it; GTK's application id is found on the bus.
  EXPECT_EQ((*windows)[1].appId, "plenk-gtk4-test");
  EXPECT_EQ((*windows)[1].bufferDx, 14);
  EXPECT_TRUE((*windows)[1].focused);
  const Window& x = (*windows)[2];
  EXPECT_TRUE(x.x11 && !x.visible);
  EXPECT_EQ(x.windowClass, "XTerm");
  EXPECT_EQ(x.instance, "xterm");
  EXPECT_EQ(x.appId, "");
  // Wrong types give empty facts, never a throw.
  EXPECT_EQ((*windows)[3].pid, 0);
  EXPECT_EQ((*windows)[3].title, "");
  EXPECT_EQ((*windows)[3].frame, sway::Box{});

  EXPECT_FALSE(parseWindows("{}"));
  EXPECT_FALSE(parseWindows("[{\"id\":1"));
  EXPECT_EQ(parseWindows("[]")->size(), 0u);
}

// GNOME 45 made extensions ES modules: each shell gets the form it loads.
TEST(GnomeShell, EachShellVersionGetsTheExtensionFormItLoads) {
  for (int major : {43, 44, 45, 47}) {
    SCOPED_TRACE(major);
    std::string js, metadata;
    for (const auto& [name, text] : extensionFiles(major))
      (name == "extension.js" ? js : metadata) = text;
    EXPECT_NE(metadata.find("\"" + std::to_string(major) + "\""), std::string::npos) << metadata;
    EXPECT_NE(metadata.find(EXTENSION_UUID), std::string::npos);
    bool modules = js.find("export default class") != std::string::npos;
    EXPECT_EQ(modules, major >= 45);
    EXPECT_EQ(js.find("imports.gi") == std::string::npos, major >= 45);
  }
}

} // namespace
} // namespace plenk::gnome
