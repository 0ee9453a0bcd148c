// The main thread's task queue: tasks run one at a time, in the order posted, on the thread that
// calls run(); that thread sleeps while there is nothing to do. Posting never waits for a task.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace plenk::hands {

class MainQueue {
public:
  // Callable from any thread. Tasks posted after stop() are dropped.
  void post(std::function<void()> task);
  // Runs tasks until one of them calls stop(); the tasks still waiting then are never run.
  void run();
  // Called from a task on the running thread.
  void stop();

private:
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool stopped_ = false;
};

} // namespace plenk::hands
