// The recording service of this platform, on FFmpeg.
#pragma once

#include "platform/media.hpp"

#include <memory>

namespace plenk {

std::unique_ptr<Recordings> linuxRecordings();

} // namespace plenk
