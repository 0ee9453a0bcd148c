#include "platform/linux/system.hpp"

#include <gtest/gtest.h>

namespace plenk {
namespace {

TEST(OsRelease, NameAndVersionNumbers) {
  const std::string debian = "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                             "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nID=debian\n";
  auto v = linux_os::fromOsRelease(debian, "12.11\n");
  EXPECT_EQ(v.text, "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(v.major, 12);
  EXPECT_EQ(v.minor, 11);
  // A point release of another major version does not refine this one.
  EXPECT_EQ(linux_os::fromOsRelease(debian, "13.1").minor, 0);
  EXPECT_EQ(linux_os::fromOsRelease(debian, "bookworm/sid").minor, 0);

  auto ubuntu = linux_os::fromOsRelease("NAME=Ubuntu\nVERSION_ID='22.04'\nID=ubuntu\n"
                                        "# comment\nPRETTY_NAME=\"Ubuntu 22.04.4 \\\"LTS\\\"\"\n",
                                        "");
  EXPECT_EQ(ubuntu.text, "Ubuntu 22.04.4 \"LTS\"");
  EXPECT_EQ(ubuntu.major, 22);
  EXPECT_EQ(ubuntu.minor, 4);

  auto bare = linux_os::fromOsRelease("NAME=Arch\n", "");
  EXPECT_EQ(bare.text, "Arch");
  EXPECT_EQ(bare.major, 0);
  EXPECT_EQ(linux_os::fromOsRelease("", "").text, "");
}

} // namespace
} // namespace plenk
