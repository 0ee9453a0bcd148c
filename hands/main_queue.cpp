#include "hands/main_queue.hpp"

namespace plenk::hands {

void MainQueue::post(std::function<void()> task) {
  bool wasEmpty;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (stopped_) return;
    wasEmpty = tasks_.empty();
    tasks_.push_back(std::move(task));
  }
  // The runner only sleeps on an empty queue, so only the first task of a batch needs to wake it.
  if (wasEmpty) wake_.notify_one();
}

void MainQueue::run() {
  std::deque<std::function<void()>> batch;
  for (;;) {
    {
      std::unique_lock<std::mutex> hold(lock_);
      wake_.wait(hold, [&] { return stopped_ || !tasks_.empty(); });
      if (stopped_) return;
      batch.swap(tasks_);
    }
    while (!batch.empty()) {
      auto task = std::move(batch.front());
      batch.pop_front();
      // A task that throws has already lost its own answer; it must not stop the ones behind it.
      try {
        task();
      } catch (...) {
      }
      // Only a task on this thread sets it, so it needs no lock here.
      if (stopped_) return;
    }
  }
}

void MainQueue::stop() {
  std::lock_guard<std::mutex> hold(lock_);
  stopped_ = true;
  tasks_.clear();
}

} // namespace plenk::hands
