#include "platform/memory/answer_thread.hpp"

#include <cmath>

namespace plenk {

void AnswerThread::post(double delaySeconds, std::function<void()> delivery) {
  auto delay = std::chrono::microseconds(std::llround(std::max(0.0, delaySeconds) * 1e6));
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  waiting_.emplace(std::chrono::steady_clock::now() + delay, std::move(delivery));
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  changed_.notify_all();
}

void AnswerThread::run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (waiting_.empty()) {
      changed_.wait(lock);
      continue;
    }
    auto first = waiting_.begin();
    if (std::chrono::steady_clock::now() < first->first) {
      changed_.wait_until(lock, first->first);
      continue;
    }
    auto delivery = std::move(first->second);
    waiting_.erase(first);
    running_ = true;
    lock.unlock();
    delivery();
    lock.lock();
    running_ = false;
    changed_.notify_all();
  }
}

void AnswerThread::waitIdle() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return stopping_ || (waiting_.empty() && !running_); });
}

void AnswerThread::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    waiting_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

} // namespace plenk
