// Where the tests find the built programs and the source tree. Kept out of the compile flags, so
// that a clone in another folder compiles to the same objects and reuses the compiler cache.
#pragma once

#include <string>

namespace plenk::testing {

std::string binDir();    // the build folder, with the programs at its top
std::string sourceDir(); // the source tree

} // namespace plenk::testing
