#include "platform/timer.hpp"

#include <chrono>
#include <thread>

namespace plenk {

namespace {
struct ThreadTimer final : Timer {
  void once(std::int64_t millis, std::function<void()> handler) override {
    auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(millis);
    std::thread([due, handler = std::move(handler)] {
      std::this_thread::sleep_until(due);
      handler();
    }).detach();
  }
};
} // namespace

Timer& threadTimer() {
  static ThreadTimer timer;
  return timer;
}

} // namespace plenk
