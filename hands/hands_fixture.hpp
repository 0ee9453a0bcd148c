// A Hands over an in-memory desktop and a virtual clock, with main-thread tasks run at once.
#pragma once

#include "hands/context.hpp"
#include "platform/memory/desktop.hpp"
#include "platform/memory/virtual_clock.hpp"

namespace plenk::hands {

struct HandsFixture {
  MemoryDesktop desktop;
  VirtualClock clock;
  Hands hands{desktop, desktop, desktop, clock, [](std::function<void()> task) { task(); }, {}};
};

} // namespace plenk::hands
