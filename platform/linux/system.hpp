// Reading the system's version on Linux.
#pragma once

#include "platform/system.hpp"

#include <string_view>

namespace plenk::linux_os {

// The version of an os-release file: "text" its PRETTY_NAME (else NAME), major and minor from
// VERSION_ID. A Debian point release ("12.11" in /etc/debian_version) refines the minor number
// when it continues VERSION_ID.
OsVersion fromOsRelease(std::string_view osRelease, std::string_view debianVersion);

} // namespace plenk::linux_os
