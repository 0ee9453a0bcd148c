#include "platform/linux/atspi_text.hpp"

#include <gtest/gtest.h>

namespace plenk::atspi {
namespace {

using Pieces = std::vector<std::string>;

TEST(AtspiText, PiecesGoAroundTheEmbeddedChildrenOnlyWhenTheyMatch) {
  const std::string paragraph = "A paragraph with \xEF\xBF\xBC and \xEF\xBF\xBC\xEF\xBF\xBC.";
  EXPECT_EQ(piecesAroundChildren(paragraph, 3), (Pieces{"A paragraph with ", " and ", "", "."}));
  EXPECT_EQ(withoutEmbeds(paragraph), "A paragraph with  and .");
  // Text children of the toolkit's own stand for no character: the children say it all.
  EXPECT_EQ(piecesAroundChildren("Plenk test page", 1), Pieces{});
  EXPECT_EQ(piecesAroundChildren("Plain", 0), Pieces{"Plain"});
  EXPECT_EQ(piecesAroundChildren("", 0), Pieces{""});
}

} // namespace
} // namespace plenk::atspi
