// Time as the logic sees it: a monotonic "now" and sleeping. Tests use a virtual clock.
#pragma once

#include <cstdint>

namespace plenk {

struct Clock {
  virtual ~Clock() = default;
  // Monotonic seconds since an arbitrary origin.
  virtual double now() = 0;
  virtual void sleepMicros(std::int64_t micros) = 0;
};

// The process's steady clock.
Clock& steadyClock();

} // namespace plenk
