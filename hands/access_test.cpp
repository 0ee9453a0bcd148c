#include "hands/access.hpp"
#include "hands/error.hpp"
#include "hands/hands_fixture.hpp"

#include <gtest/gtest.h>

namespace plenk::hands {
namespace {

TEST(RequireAccessibility, RefusesUntilTrustedAndNeverPrompts) {
  HandsFixture f;
  try {
    requireAccessibility(f.hands);
    ADD_FAILURE() << "untrusted process passed";
  } catch (const HandsError& e) {
    EXPECT_EQ(e.code, "no_permission");
    EXPECT_EQ(e.message, "Accessibility is not allowed for Plenk AI in System Settings.");
  }
  f.desktop.trusted = true;
  EXPECT_NO_THROW(requireAccessibility(f.hands));
  EXPECT_EQ(f.desktop.accessibilityPrompts, 0);
}

} // namespace
} // namespace plenk::hands
