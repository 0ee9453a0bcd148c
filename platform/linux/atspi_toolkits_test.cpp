#include "platform/linux/atspi_toolkits.hpp"

#include <gtest/gtest.h>

namespace plenk::atspi {
namespace {

TEST(ToolkitQuirks, WhatTheTableDoesNotKnowIsAskedTheSafeWay) {
  // A "gtk" that is not GTK 3 is not taken for it; Qt and strangers never get GetAll.
  for (auto [name, version] : {std::pair{"gtk", "2.24.33"}, std::pair{"Qt", "5.15.8"},
                               std::pair{"Qt", "6.4.2"}, std::pair{"", ""}}) {
    ToolkitQuirks q = quirksOf(name, version);
    EXPECT_FALSE(q.getAll) << name;
    EXPECT_FALSE(q.collection) << name;
    EXPECT_TRUE(q.showing) << name;
  }
  EXPECT_EQ(quirksOf("gtk", "3.24.38").toolkit, Toolkit::gtk3);
  EXPECT_EQ(quirksOf("GTK", "4.8.3").toolkit, Toolkit::gtk4);
  // GTK 2 and Java name their ATK side, not the toolkit.
  EXPECT_EQ(quirksOf("GAIL", "2.24.33").toolkit, Toolkit::gtk2);
  EXPECT_EQ(quirksOf("J2SE-access-bridge", "1.0").toolkit, Toolkit::java);
}

} // namespace
} // namespace plenk::atspi
