#include "hands/ax/ax_test_support.hpp"
#include "hands/ax/readers.hpp"
#include "hands/ax/secure.hpp"

#include <gtest/gtest.h>

namespace plenk::hands {
namespace {

using testing::AxTest;
using testing::frame;

using Readers = AxTest;

TEST_F(Readers, ValueTextTakesStringsAndNumbersOnly) {
  struct Case {
    std::optional<AttrValue> value; // nothing: the read fails
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {AttrValue{std::string("  two words \n")}, "  two words \n"},
      {AttrValue{std::string()}, ""},
      {AttrValue{1.0}, "1"},
      {AttrValue{42.0}, "42"},
      {AttrValue{-3.0}, "-3"},
      {AttrValue{0.5}, "0.5"},
      {AttrValue{true}, "1"},
      {AttrValue{false}, "0"},
      {AttrValue{OtherValue{"date"}}, std::nullopt},
      {AttrValue{Size{1, 2}}, std::nullopt},
      {std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    Element field = add("AXTextField");
    if (c.value)
      desktop.set(field, "AXValue", *c.value);
    else
      desktop.fail(field, "AXValue", AxStatus::cannotComplete);
    EXPECT_EQ(axValueText(desktop, field), c.text);
    EXPECT_EQ(desktop.reads(field, "AXValue"), 1);
  }
}

TEST_F(Readers, TypedReadersAnswerNothingForOtherKinds) {
  Element e = add("AXCheckBox", {{"AXEnabled", 0.0}, {"AXTitle", 3.0}, {"AXValue", 2.0}});
  EXPECT_EQ(axBool(desktop, e, "AXEnabled"), false);
  EXPECT_EQ(axBool(desktop, e, "AXValue"), true);
  EXPECT_EQ(axBool(desktop, e, "AXRole"), std::nullopt);
  EXPECT_EQ(axString(desktop, e, "AXTitle"), std::nullopt);
  EXPECT_EQ(axString(desktop, e, "AXRole"), "AXCheckBox");
  EXPECT_EQ(axElement(desktop, e, "AXRole"), std::nullopt);
  EXPECT_EQ(axPoint(desktop, e, "AXValue"), std::nullopt);
  EXPECT_EQ(axString(desktop, e, "AXNothingHere"), std::nullopt);
}

TEST_F(Readers, ChildrenInOrderOrEmpty) {
  Element a = add("AXGroup"), b = add("AXGroup");
  EXPECT_EQ(axChildren(desktop, window), (std::vector<Element>{a, b}));
  desktop.fail(window, "AXChildren", AxStatus::cannotComplete);
  EXPECT_TRUE(axChildren(desktop, window).empty());
  desktop.set(window, "AXChildren", std::string("not a list"));
  EXPECT_TRUE(axChildren(desktop, window).empty());
}

TEST_F(Readers, FrameNeedsPositionAndSizeAndReadsBoth) {
  Element e = add("AXButton", frame(1.5, 2, 3, 4));
  EXPECT_EQ(axFrame(desktop, e), (Rect{{1.5, 2}, {3, 4}}));
  desktop.unset(e, "AXPosition");
  EXPECT_EQ(axFrame(desktop, e), std::nullopt);
  EXPECT_EQ(desktop.reads(e, "AXPosition"), 2);
  EXPECT_EQ(desktop.reads(e, "AXSize"), 2);
}

TEST(Clip, FoldsTrimsAndCutsByCharacters) {
  const std::string accent = "e\xCC\x81"; // e + combining acute: one character
  std::string accents;
  for (int i = 0; i < 5; ++i)
    accents += accent;
  struct Case {
    std::string in;
    std::size_t limit;
    std::string out;
  };
  const Case cases[] = {
      {" Quarterly\nreport  ", 200, "Quarterly report"},
      {"\n\t a  b \r\n", 200, "a  b"},
      {"a\r\nb", 200, "a\r b"},
      {std::string(250, 'x'), 200, std::string(200, 'x')},
      {"  " + std::string(130, 'y'), 120, std::string(120, 'y')},
      {accents, 3, accent + accent + accent},
      {"ab cd", 3, "ab "}, // the cut is not trimmed again
      {"", 120, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(clip(c.in, c.limit), c.out) << c.in;
}

TEST_F(Readers, SecureByRoleOrSubrole) {
  Element byRole = add("AXSecureTextField", {{"AXSubrole", std::string("AXSecureTextField")}});
  EXPECT_TRUE(isSecure(desktop, byRole));
  EXPECT_EQ(desktop.reads(byRole, "AXSubrole"), 0);

  Element bySubrole = add("AXTextField", {{"AXSubrole", std::string("AXSecureTextField")}});
  EXPECT_TRUE(isSecure(desktop, bySubrole));

  Element plain = add("AXTextField", {{"AXSubrole", std::string("AXSearchField")}});
  EXPECT_FALSE(isSecure(desktop, plain));

  Element unreadable = add("");
  desktop.fail(unreadable, "AXRole", AxStatus::invalidElement);
  desktop.fail(unreadable, "AXSubrole", AxStatus::invalidElement);
  EXPECT_FALSE(isSecure(desktop, unreadable));
  EXPECT_EQ(desktop.reads(unreadable, "AXRole"), 1);
  EXPECT_EQ(desktop.reads(unreadable, "AXSubrole"), 1);
}

} // namespace
} // namespace plenk::hands
