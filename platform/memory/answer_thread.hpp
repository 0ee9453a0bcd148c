// One thread that runs deliveries after a real-time delay, earliest first: how the in-memory
// workspace answers opens later on another thread. Destroying it (or stop()) drops what has not
// run and joins the thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace plenk {

class AnswerThread {
public:
  AnswerThread() = default;
  ~AnswerThread() { stop(); }
  AnswerThread(const AnswerThread&) = delete;
  AnswerThread& operator=(const AnswerThread&) = delete;

  void post(double delaySeconds, std::function<void()> delivery);
  // Returns once nothing is waiting or running.
  void waitIdle();
  void stop();

private:
  using Moment = std::chrono::steady_clock::time_point;
  void run();

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  bool running_ = false;
  std::multimap<Moment, std::function<void()>> waiting_;
  std::thread thread_; // started by the first post
};

} // namespace plenk
