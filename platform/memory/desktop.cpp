#include "platform/memory/desktop.hpp"

namespace plenk {

MemoryDesktop::MemoryDesktop() : MemoryDesktop(nullptr) {}

MemoryDesktop::MemoryDesktop(Clock& clock) : MemoryDesktop(&clock) {}

MemoryDesktop::MemoryDesktop(Clock* clock)
    : DesktopParts(clock),
      MemoryWorkspace(log, scheduler, [this](const RunningApp& app) { addApp(app); }),
      MemoryAccessibility(log, scheduler, *this), MemoryInput(log, scheduler, *this) {}

MemoryDesktop::~MemoryDesktop() {
  // Before any fake goes: an answer being delivered reaches the workspace and the tree.
  stopOpens();
}

Element MemoryDesktop::addApp(const RunningApp& app) {
  addRunning(app);
  return addAppElement(app.pid, app.name);
}

Scheduler::Run MemoryDesktop::bound(Change change) {
  return [this, change = std::move(change)] { change(*this); };
}

void MemoryDesktop::at(double seconds, Change change) {
  scheduler.at(seconds, bound(std::move(change)));
}

void MemoryDesktop::afterWrite(int pid, std::string attribute, double delay, Change change) {
  scheduler.afterWrite(pid, std::move(attribute), delay, bound(std::move(change)));
}

void MemoryDesktop::afterKey(std::uint16_t keyCode, double delay, Change change) {
  scheduler.afterKey(keyCode, delay, bound(std::move(change)));
}

void MemoryDesktop::afterClick(const Element& element, double delay, Change change) {
  scheduler.afterClick(element, delay, bound(std::move(change)));
}

} // namespace plenk
