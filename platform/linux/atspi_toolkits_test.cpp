#include "platform/linux/atspi_toolkits.hpp"

#include <gtest/gtest.h>

namespace plenk::atspi {
namespace {

TEST(ToolkitQuirks, WhatTheTableDoesNotKnowIsAskedTheSafeWay) {
  // GTK 2 shares GTK 3's name but not its version; Qt and strangers never get GetAll.
  for (auto [name, version] : {std::pair{"gtk", "2.24.33"}, std::pair{"Qt", "5.15.8"},
                               std::pair{"J2SE-access-bridge", "11"}, std::pair{"", ""}}) {
    ToolkitQuirks q = quirksOf(name, version);
    EXPECT_FALSE(q.getAll) << name;
    EXPECT_FALSE(q.collection) << name;
    EXPECT_TRUE(q.showing) << name;
  }
  EXPECT_EQ(quirksOf("gtk", "3.24.38").toolkit, Toolkit::gtk3);
  EXPECT_EQ(quirksOf("GTK", "4.8.3").toolkit, Toolkit::gtk4);
}

} // namespace
} // namespace plenk::atspi
