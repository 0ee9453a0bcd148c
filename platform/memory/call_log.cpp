#include "platform/memory/call_log.hpp"

#include <algorithm>

namespace plenk {

void CallLog::record(std::string op, std::string target, std::string detail) {
  double at = elapsed();
  std::lock_guard lock(mutex_);
  if (keep_) calls_.push_back({std::move(op), std::move(target), std::move(detail), at});
}

std::vector<PlatformCall> CallLog::calls() {
  std::lock_guard lock(mutex_);
  return calls_;
}

int CallLog::count(std::string_view op, std::optional<std::string_view> detail) {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const PlatformCall& c) {
    return c.op == op && (!detail || c.detail == *detail);
  }));
}

int CallLog::count(std::string_view op, std::string_view target, std::string_view detail) {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const PlatformCall& c) {
    return c.op == op && c.target == target && c.detail == detail;
  }));
}

void CallLog::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void CallLog::keep(bool keep) {
  std::lock_guard lock(mutex_);
  keep_ = keep;
  if (!keep) calls_ = {};
}

bool CallLog::keeping() {
  std::lock_guard lock(mutex_);
  return keep_;
}

} // namespace plenk
