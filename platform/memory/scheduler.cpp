#include "platform/memory/scheduler.hpp"

#include <algorithm>

namespace plenk {

using Lock = std::lock_guard<std::recursive_mutex>;

void Scheduler::at(double seconds, Run change) {
  Lock lock(mutex_);
  due_.emplace_back(seconds, std::move(change));
}

void Scheduler::afterWrite(int pid, std::string attribute, double delay, Run change) {
  Lock lock(mutex_);
  triggers_.push_back(
      {Trigger::Kind::write, pid, std::move(attribute), 0, {}, delay, std::move(change)});
}

void Scheduler::afterKey(std::uint16_t keyCode, double delay, Run change) {
  Lock lock(mutex_);
  triggers_.push_back({Trigger::Kind::key, 0, "", keyCode, {}, delay, std::move(change)});
}

void Scheduler::afterClick(const Element& element, double delay, Run change) {
  Lock lock(mutex_);
  triggers_.push_back({Trigger::Kind::click, 0, "", 0, element, delay, std::move(change)});
}

void Scheduler::applyDue() {
  Lock lock(mutex_);
  if (applying_) return;
  applying_ = true;
  for (;;) {
    double now = log_.elapsed();
    auto next = due_.end();
    for (auto it = due_.begin(); it != due_.end(); ++it)
      if (it->first <= now && (next == due_.end() || it->first < next->first)) next = it;
    if (next == due_.end()) break;
    Run change = std::move(next->second);
    due_.erase(next);
    change();
  }
  applying_ = false;
}

template <typename Matches> void Scheduler::fireWhere(Matches matches) {
  Lock lock(mutex_);
  std::vector<Trigger> fired;
  for (auto it = triggers_.begin(); it != triggers_.end();) {
    if (matches(*it)) {
      fired.push_back(std::move(*it));
      it = triggers_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& t : fired) {
    due_.emplace_back(log_.elapsed() + std::max(0.0, t.delay), std::move(t.change));
    applyDue();
  }
}

void Scheduler::wrote(int pid, std::string_view attribute) {
  fireWhere([&](const Trigger& t) {
    return t.kind == Trigger::Kind::write && t.pid == pid && t.attribute == attribute;
  });
}

void Scheduler::keyDown(std::uint16_t keyCode) {
  fireWhere([&](const Trigger& t) { return t.kind == Trigger::Kind::key && t.keyCode == keyCode; });
}

void Scheduler::pressed(const std::vector<Element>& hitAndParents) {
  fireWhere([&](const Trigger& t) {
    return t.kind == Trigger::Kind::click &&
           std::find(hitAndParents.begin(), hitAndParents.end(), t.element) != hitAndParents.end();
  });
}

} // namespace plenk
