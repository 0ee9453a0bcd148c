// The version of the helpers: both programs ship together and report the same one.
#pragma once

#include <string_view>

namespace plenk {

inline constexpr std::string_view HELPERS_VERSION = "1.0.0";

} // namespace plenk
