#include "platform/files.hpp"

#include <gtest/gtest.h>

namespace plenk {
namespace {

TEST(StandardizePath, TildeDotsEmptyComponentsAndTrailingSeparator) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"~/outdir/", "/home/u/outdir"},
      {"~", "/home/u"},
      {"~other/x", "~other/x"},
      {"/a//b/./c/", "/a/b/c"},
      {"/", "/"},
      {"//", "/"},
      {"./out/", "out"},
      {".", "."},
      {"out/../x", "out/../x"},
      {"/a/b/../c", "/a/b/../c"},
      {"a/~/b", "a/~/b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(standardizePath(c.in, "/home/u"), c.out);
  }
}

} // namespace
} // namespace plenk
