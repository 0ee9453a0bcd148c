// The in-memory desktop: what tests and the simulated desktop run on.
//
// Three fakes, one per desktop service, wired together: the workspace (which applications run,
// which is in front), the accessibility tree (whose applications are the running ones) and the
// input recorder (whose events reach the tree's elements). Beside them sit the simulator's own
// parts: one call log with the desktop's clock, and the scheduler of changes over time and by
// input. Each fake can be built without this class on a CallLog and a Scheduler (the tree needs a
// workspace, the input recorder a tree), for a test that combines it with a real service.
//
// A test builds exactly the desktop it needs, runs the logic on it, and then looks at what the
// logic did: the platform calls it made, the attributes it wrote and the input it posted, each
// stamped with the desktop's clock. With keepCalls(false) none of that is kept, so a long
// simulation does not grow.
//
// Time: reads with a latency and the logic's sleeps go through one clock. With the virtual clock
// (the default) a slow read advances it at once, so seconds of waiting cost nothing and every
// timestamp is exact.
//
// Threads: every member may be called from any thread. Answers of openApplication arrive on a
// thread of the desktop's own, joined when the desktop goes.
#pragma once

#include "platform/memory/accessibility.hpp"
#include "platform/memory/call_log.hpp"
#include "platform/memory/event_log.hpp"
#include "platform/memory/input.hpp"
#include "platform/memory/scheduler.hpp"
#include "platform/memory/virtual_clock.hpp"
#include "platform/memory/workspace.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plenk {

// A change to the desktop, run when its moment comes.
using Change = std::function<void(class MemoryDesktop&)>;

// What the fakes share; made before them.
struct DesktopParts {
  explicit DesktopParts(Clock* clock) : log(clock ? *clock : ownClock), scheduler(log) {}
  VirtualClock ownClock;
  CallLog log;
  Scheduler scheduler;
};

class MemoryDesktop final : private DesktopParts,
                            public MemoryWorkspace,
                            public MemoryAccessibility,
                            public MemoryInput {
public:
  // On its own virtual clock (virtualClock()).
  MemoryDesktop();
  // On the given clock (the real steady clock for a live simulation, say).
  explicit MemoryDesktop(Clock& clock);
  ~MemoryDesktop() override;

  Clock& clock() { return log.clock(); }
  // The desktop's own virtual clock (unused when another clock was given).
  VirtualClock& virtualClock() { return ownClock; }
  // Seconds on the desktop's clock since the desktop was made.
  double elapsed() { return log.elapsed(); }

  // Registers a running application and returns its application element ("AXRole"
  // "AXApplication", title = its name).
  Element addApp(const RunningApp& app);

  // ---- changes over time and by input (each runs once)
  // At this many seconds of the desktop's clock.
  void at(double seconds, Change change);
  // `delay` seconds after the logic first writes `attribute` of the application element of pid.
  void afterWrite(int pid, std::string attribute, double delay, Change change);
  // `delay` seconds after a key-down of this key code is posted (typed chunks have code 0).
  void afterKey(std::uint16_t keyCode, double delay, Change change);
  // `delay` seconds after a mouse button goes down on this element or inside it.
  void afterClick(const Element& element, double delay, Change change);

  // ---- what the logic did
  std::vector<PlatformCall> calls() { return log.calls(); }
  // Calls of one operation, optionally only those with this detail (attribute, path, ...).
  int count(std::string_view op, std::optional<std::string_view> detail = std::nullopt) {
    return log.count(op, detail);
  }
  void clearCalls() { log.clear(); }
  // Whether calls, writes, events and opened bundles are kept (on by default; a long simulation
  // turns it off, and then nothing grows).
  void keepCalls(bool keep) { log.keep(keep); }

private:
  explicit MemoryDesktop(Clock* clock); // none: its own virtual clock
  Scheduler::Run bound(Change change);
};

} // namespace plenk
