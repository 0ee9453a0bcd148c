// The simulated desktop's changes over time and by input: each runs once, when the desktop's
// clock reaches its moment or `delay` seconds after the input or write that triggers it.
//
// The fakes ask for due changes before they answer (applyDue) and report writes, keys and
// presses after they have let go of their own locks, so a change may call any fake. Changes run
// one at a time; one that calls a fake does not start further changes from inside it.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/memory/call_log.hpp"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plenk {

class Scheduler {
public:
  using Run = std::function<void()>;

  explicit Scheduler(CallLog& log) : log_(log) {}

  // At this many seconds of the desktop's clock.
  void at(double seconds, Run change);
  // After the logic first writes `attribute` of the application element of pid.
  void afterWrite(int pid, std::string attribute, double delay, Run change);
  // After a key-down of this key code is posted (typed chunks have code 0).
  void afterKey(std::uint16_t keyCode, double delay, Run change);
  // After a mouse button goes down on this element or inside it.
  void afterClick(const Element& element, double delay, Run change);

  // Runs every change whose moment has come, earliest first.
  void applyDue();
  // What the fakes report.
  void wrote(int pid, std::string_view attribute);
  void keyDown(std::uint16_t keyCode);
  // A button went down on `hit` (the element first, then each parent up to its application).
  void pressed(const std::vector<Element>& hitAndParents);

private:
  struct Trigger {
    enum class Kind { write, key, click } kind;
    int pid = 0;
    std::string attribute;
    std::uint16_t keyCode = 0;
    Element element;
    double delay = 0;
    Run change;
  };
  template <typename Matches> void fireWhere(Matches matches);

  CallLog& log_;
  // Recursive: a change that calls a fake comes back to applyDue on the same thread.
  std::recursive_mutex mutex_;
  bool applying_ = false;
  std::vector<std::pair<double, Run>> due_; // seconds since the log's origin
  std::vector<Trigger> triggers_;
};

} // namespace plenk
