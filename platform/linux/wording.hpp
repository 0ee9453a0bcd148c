// What a Linux desktop's user reads where the logic names macOS, a Mac or its settings.
#pragma once

#include "platform/wording.hpp"

namespace plenk {

Wording linuxWording();

} // namespace plenk
