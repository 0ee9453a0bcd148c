// A clock that only moves when slept on or advanced: exact and instant in tests.
#pragma once

#include "platform/clock.hpp"

#include <atomic>
#include <cstdint>

namespace plenk {

struct VirtualClock final : Clock {
  double now() override { return static_cast<double>(micros.load()) / 1e6; }
  void sleepMicros(std::int64_t us) override {
    if (us > 0) micros += us;
  }
  void advance(double seconds) { micros += static_cast<std::int64_t>(seconds * 1e6); }
  std::atomic<std::int64_t> micros{0};
};

} // namespace plenk
