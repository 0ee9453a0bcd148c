#include "platform/linux/kwin.hpp"
#include "platform/linux/kwin_input.hpp"

#include <gtest/gtest.h>

namespace plenk::kwin {
namespace {

// KWin names windows by UUID: each keeps its number for the life of the process, whatever the
// order of later answers; entries without one are left out.
TEST(Kwin, TheScriptsWindowsKeepTheirNumbersAcrossAnswers) {
  auto first = parseWindows(R"([
    {"uuid":"{aa}","pid":10,"title":"One","wmClass":"one","x11":false,"frame":[10,20,300,200],
     "buffer":[0,10,320,220],"focused":true,"visible":true},
    {"uuid":"{bb}","pid":11,"title":"Two","wmClass":"XTerm","wmInstance":"xterm","x11":true,
     "frame":[0,0,100,100],"buffer":[0,0,100,100],"focused":false,"visible":false},
    {"id":5,"title":"no uuid"}, {"uuid":7}])");
  ASSERT_TRUE(first);
  ASSERT_EQ(first->size(), 2u);
  EXPECT_EQ((*first)[0].title, "One");
  EXPECT_EQ((*first)[0].bufferDx, 10);
  EXPECT_TRUE((*first)[0].focused);
  EXPECT_TRUE((*first)[1].x11 && !(*first)[1].visible);
  EXPECT_EQ((*first)[1].windowClass, "XTerm");
  EXPECT_NE((*first)[0].id, (*first)[1].id);

  auto later = parseWindows(R"([{"uuid":"{cc}","title":"Three"},{"uuid":"{bb}","title":"Two"},
                                {"uuid":"{aa}","title":"One"}])");
  ASSERT_TRUE(later && later->size() == 3u);
  EXPECT_EQ((*later)[2].id, (*first)[0].id);
  EXPECT_EQ((*later)[1].id, (*first)[1].id);
  EXPECT_FALSE(parseWindows("not json"));
}

// What is put into the script is always a string literal of it, whatever it holds.
TEST(Kwin, TheScriptQuotesWhatItIsGiven) {
  std::string text = script(":1.42", "7-3", "{x}'\"); evil(); (\"");
  EXPECT_NE(text.find(R"(var raise = "{x}'\"); evil(); (\"";)"), std::string::npos) << text;
  EXPECT_NE(text.find(R"(callDBus(":1.42", '/org/plenk/Hands/KWin')"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("7-3")"), std::string::npos);
  EXPECT_EQ(text.find('%'), std::string::npos) << "a placeholder was left";
}

// The entry names the executable as KWin splits Exec (a path with spaces in quotes).
TEST(Kwin, TheInputEntryNamesTheExecutableWithTheInterface) {
  std::string plain = inputEntry("/opt/plenk/plenk-hands");
  EXPECT_NE(plain.find("\nExec=/opt/plenk/plenk-hands\n"), std::string::npos);
  EXPECT_NE(plain.find("\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n"), std::string::npos);
  EXPECT_NE(plain.find("\nNoDisplay=true\n"), std::string::npos);
  EXPECT_NE(inputEntry("/home/zoë/my apps/plenk-hands")
                .find("\nExec=\"/home/zoë/my apps/plenk-hands\"\n"),
            std::string::npos);
  EXPECT_NE(inputEntryPath("/a/plenk-hands"), inputEntryPath("/b/plenk-hands"));
}

// KWin types with the first layout of kxkbrc when layouts are in use, else with XKB's default.
TEST(Kwin, KeysGoThroughTheFirstLayoutKxkbrcNames) {
  auto de = kwin_keys::layoutNames(
      "[Layout]\nDisplayNames=,\nLayoutList=de,us\nOptions=grp:alt_shift_toggle\nUse=true\n"
      "VariantList=nodeadkeys,\n\n[Other]\nLayoutList=fr\n");
  EXPECT_EQ(de.layout, "de");
  EXPECT_EQ(de.variant, "nodeadkeys");
  EXPECT_EQ(de.options, "grp:alt_shift_toggle");
  EXPECT_EQ(kwin_keys::layoutNames("[Layout]\nLayoutList=de\nUse=false\n").layout, "us");
  EXPECT_EQ(kwin_keys::layoutNames("").layout, "us");
  EXPECT_EQ(kwin_keys::layoutNames("[Layout]\r\nLayoutList=fr\r\nUse=true\r\n").layout, "fr");
}

} // namespace
} // namespace plenk::kwin
