#include "platform/linux/layout_keys.hpp"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace plenk::layout {
namespace {

// Each keysym comes from its plainest key of the layout asked for, with the modifiers of that
// level; a layout that does not exist gives no keys rather than another one.
TEST(LayoutKeys, EachKeysymComesFromItsLayoutsPlainestKeyAndLevel) {
  Keys us = compile("us");
  ASSERT_TRUE(us.find(XK_z));
  EXPECT_EQ(us.find(XK_z)->code, 52u);
  EXPECT_FALSE(us.find(XK_z)->shift || us.find(XK_z)->altGr);
  ASSERT_TRUE(us.find(XK_A));
  EXPECT_EQ(us.find(XK_A)->code, 38u);
  EXPECT_TRUE(us.find(XK_A)->shift);
  EXPECT_FALSE(us.has(XK_Greek_OMEGA));
  EXPECT_FALSE(us.has(XK_udiaeresis));

  Keys de = compile("de");
  ASSERT_TRUE(de.find(XK_z) && de.find(XK_at) && de.find(XK_Udiaeresis));
  EXPECT_EQ(de.find(XK_z)->code, 29u); // where a US keyboard has Y
  EXPECT_EQ(de.find(XK_at)->code, 24u);
  EXPECT_TRUE(de.find(XK_at)->altGr && !de.find(XK_at)->shift);
  EXPECT_TRUE(de.find(XK_Udiaeresis)->shift);
  EXPECT_EQ(compile("", "").find(XK_z)->code, 52u) << "no name is a US layout";

  EXPECT_TRUE(compile("no-such-layout").bySym.empty());
}

TEST(LayoutKeys, CharactersTypeTheirKeysymsAndControlCharactersNothing) {
  EXPECT_EQ(symOf(U'a'), static_cast<std::uint32_t>(XK_a));
  EXPECT_EQ(symOf(U'\n'), static_cast<std::uint32_t>(XK_Return));
  EXPECT_EQ(symOf(U'\r'), static_cast<std::uint32_t>(XK_Return));
  EXPECT_EQ(symOf(U'\t'), static_cast<std::uint32_t>(XK_Tab));
  EXPECT_EQ(symOf(U'\x07'), 0u);
  EXPECT_EQ(symOf(U'\x85'), 0u);
  EXPECT_EQ(symOf(U'ë'), static_cast<std::uint32_t>(XK_ediaeresis));
  EXPECT_EQ(symOf(U'日'), 0x10065e5u);
}

} // namespace
} // namespace plenk::layout
