// One-shot timers: a handler run once, on another thread, after a delay.
#pragma once

#include <cstdint>
#include <functional>

namespace plenk {

struct Timer {
  virtual ~Timer() = default;
  // Returns at once; the handler runs once on a thread of its own, no earlier than the given
  // milliseconds after this call (monotonic time). It is never cancelled.
  virtual void once(std::int64_t millis, std::function<void()> handler) = 0;
};

// A detached thread that sleeps on the steady clock. Everything the handler touches must live
// until the process ends.
Timer& threadTimer();

} // namespace plenk
