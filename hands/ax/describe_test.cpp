#include "hands/ax/ax_test_support.hpp"
#include "hands/ax/describe.hpp"

#include <gtest/gtest.h>

namespace plenk::hands {
namespace {

using testing::AxTest;
using testing::frame;
using testing::titled;
using testing::with;

TEST(ShortRole, TabsPrefixAndCase) {
  struct Case {
    std::string role;
    std::optional<std::string> subrole;
    std::string out;
  };
  const Case cases[] = {
      {"AXRadioButton", "AXTabButton", "tab"},
      {"AXRadioButton", std::nullopt, "radiobutton"},
      {"AXButton", "AXTabButton", "button"},
      {"AXPopUpButton", std::nullopt, "popupbutton"},
      {"AXMenuBarItem", std::nullopt, "menubaritem"},
      {"AXTab", std::nullopt, "tab"},
      {"Custom\xC3\x89lement", std::nullopt, "custom\xC3\xA9lement"},
      {"", std::nullopt, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(shortRole(c.role, c.subrole), c.out) << c.role;
}

using Describe = AxTest;

TEST_F(Describe, LabelFromTheFirstNonBlankAttribute) {
  struct Case {
    Attributes attributes;
    std::string label;
  };
  const Case cases[] = {
      {{{"AXTitle", std::string("  ")}, {"AXDescription", std::string("Close")}}, "Close"},
      {{{"AXTitle", std::string("\n\t")}, {"AXHelp", std::string(" Help me ")}}, "Help me"},
      {{{"AXDescription", std::string("Zoom")}, {"AXPlaceholderValue", std::string("x")}}, "Zoom"},
      {{{"AXPlaceholderValue", std::string("Search")}}, "Search"},
      {{{"AXTitle", std::string("two\nlines")}}, "two lines"},
      {{{"AXTitle", std::string(300, 'a')}}, std::string(120, 'a')},
      {{{"AXTitle", 7.0}}, ""},
      {{}, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(labelOf(desktop, add("AXButton", c.attributes)), c.label);
}

TEST_F(Describe, LabelFromTheTitleElement) {
  Element valued = add("AXStaticText", titled("Ignored", {{"AXValue", std::string(" Name: ")}}));
  Element emptyValue = add("AXStaticText", titled("Ignored", {{"AXValue", std::string()}}));
  Element titleOnly = add("AXStaticText", titled("Country"));
  Element bare = add("AXStaticText");

  EXPECT_EQ(labelOf(desktop, add("AXTextField", {{"AXTitleUIElement", valued}})), "Name:");
  // An empty value is a value: the title element's title is not read.
  EXPECT_EQ(labelOf(desktop, add("AXTextField", {{"AXTitleUIElement", emptyValue}})), "");
  EXPECT_EQ(desktop.reads(emptyValue, "AXTitle"), 0);
  EXPECT_EQ(labelOf(desktop, add("AXTextField", {{"AXTitleUIElement", titleOnly}})), "Country");
  EXPECT_EQ(labelOf(desktop, add("AXTextField", {{"AXTitleUIElement", bare}})), "");
  // A label of its own wins; the title element is then not looked at.
  Element own = add("AXTextField", titled("Own", {{"AXTitleUIElement", valued}}));
  EXPECT_EQ(labelOf(desktop, own), "Own");
  EXPECT_EQ(desktop.reads(own, "AXTitleUIElement"), 0);
}

TEST_F(Describe, RecordKeysAndFallbacks) {
  Element save = add("AXButton", titled("Save"));
  Json record = describe(desktop, save, "AXButton", Rect{{1.25, 2}, {80, 20.5}}, std::nullopt);
  EXPECT_EQ(record, Json::parse(R"({"role":"button","label":"Save","x":1.25,"y":2,"w":80,
                                    "h":20.5,"enabled":true})"));

  Element disabled = add("AXCheckBox", {{"AXEnabled", false}, {"AXValue", 1.0}});
  record = describe(desktop, disabled, "AXCheckBox", Rect{}, std::nullopt);
  EXPECT_EQ(record["enabled"], false);
  EXPECT_EQ(record["value"], "1");

  // A vanished element keeps the role and rectangle it was described with.
  Element gone = add("AXButton", titled("Gone"));
  desktop.remove(gone);
  record = describe(desktop, gone, "AXButton", Rect{{5, 6}, {7, 8}}, std::nullopt);
  EXPECT_EQ(record, Json::parse(R"({"role":"button","label":"","x":5,"y":6,"w":7,"h":8,
                                    "enabled":true})"));
}

TEST_F(Describe, ValuesAreClippedAndEmptyOnesLeftOut) {
  struct Case {
    AttrValue value;
    std::optional<std::string> shown;
  };
  const Case cases[] = {
      {std::string("   "), ""},
      {std::string(), std::nullopt},
      {std::string(500, 'v'), std::string(120, 'v')},
      {std::string("a\nb"), "a b"},
      {OtherValue{"date"}, std::nullopt},
  };
  for (const auto& c : cases) {
    Element e = add("AXTextArea", {{"AXValue", c.value}});
    Json record = describe(desktop, e, "AXTextArea", Rect{}, std::nullopt);
    if (c.shown)
      EXPECT_EQ(record.value("value", "<none>"), *c.shown);
    else
      EXPECT_FALSE(record.contains("value"));
  }
}

TEST_F(Describe, PasswordFieldsNeverGiveTheirValue) {
  Element byRole = add("AXSecureTextField", {{"AXValue", std::string("hunter2")}});
  Element bySubrole = add("AXTextField", {{"AXSubrole", std::string("AXSecureTextField")},
                                          {"AXValue", std::string("hunter2")}});
  using Case = std::pair<Element, std::string>;
  for (const auto& [e, role] :
       {Case{byRole, "AXSecureTextField"}, Case{bySubrole, "AXTextField"}}) {
    Json record = describe(desktop, e, role, Rect{}, std::nullopt);
    EXPECT_EQ(record["role"], "textfield");
    EXPECT_EQ(record["secure"], true);
    EXPECT_FALSE(record.contains("value"));
    EXPECT_EQ(desktop.reads(e, "AXValue"), 0);
  }
  // The role the caller read decides, not a fresh read.
  Json plain = describe(desktop, byRole, "AXTextField", Rect{}, std::nullopt);
  EXPECT_FALSE(plain.contains("secure"));
}

TEST_F(Describe, FocusedMarkOnlyOnTheFocusedElement) {
  Element field = add("AXTextField", with(frame(0, 0, 100, 20), {}));
  Element other = add("AXTextField");
  EXPECT_EQ(describe(desktop, field, "AXTextField", Rect{}, field)["focused"], true);
  EXPECT_FALSE(describe(desktop, other, "AXTextField", Rect{}, field).contains("focused"));
  EXPECT_FALSE(describe(desktop, other, "AXTextField", Rect{}, std::nullopt).contains("focused"));
}

} // namespace
} // namespace plenk::hands
