// A timer that fires only when a test says so.
#pragma once

#include "platform/timer.hpp"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace plenk {

struct ManualTimer final : Timer {
  void once(std::int64_t ms, std::function<void()> h) override {
    std::lock_guard lock(mutex);
    millis = ms;
    handler = std::move(h);
  }
  // Runs the armed handler on the calling thread; false when nothing was armed.
  bool fire() {
    std::function<void()> h;
    {
      std::lock_guard lock(mutex);
      h = handler;
    }
    if (!h) return false;
    h();
    return true;
  }

  std::mutex mutex;
  std::optional<std::int64_t> millis;
  std::function<void()> handler;
};

} // namespace plenk
