#include "platform/clock.hpp"

#include <chrono>
#include <thread>

namespace plenk {

namespace {
struct SteadyClock final : Clock {
  double now() override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void sleepMicros(std::int64_t micros) override {
    if (micros > 0) std::this_thread::sleep_for(std::chrono::microseconds(micros));
  }
};
} // namespace

Clock& steadyClock() {
  static SteadyClock clock;
  return clock;
}

} // namespace plenk
