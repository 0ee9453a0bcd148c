// The picture service of this platform, on libvips.
#pragma once

#include "platform/images.hpp"

#include <memory>

namespace plenk {

std::unique_ptr<Images> linuxImages();

} // namespace plenk
