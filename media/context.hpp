// What every plenk-media verb is given: the platform services of this run. Built once by the
// program (or a test) and passed in.
#pragma once

#include "platform/clock.hpp"

namespace plenk::media {

struct Media {
  Clock& clock;
};

} // namespace plenk::media
