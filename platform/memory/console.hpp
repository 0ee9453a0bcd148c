// A console that keeps what is written and the status the run ended with.
#pragma once

#include "platform/console.hpp"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

namespace plenk {

struct MemoryConsole final : Console {
  bool writeOut(std::string_view bytes) override {
    std::lock_guard lock(mutex);
    out += bytes;
    ++outWrites;
    return true;
  }
  bool writeErr(std::string_view bytes) override {
    std::lock_guard lock(mutex);
    err += bytes;
    ++errWrites;
    return true;
  }
  void exit(int s) override {
    std::lock_guard lock(mutex);
    if (!status) status = s;
    ++exits;
    ended.notify_all();
  }
  int waitForEnd() override {
    std::unique_lock lock(mutex);
    ended.wait(lock, [&] { return status.has_value(); });
    return *status;
  }

  std::mutex mutex;
  std::condition_variable ended;
  std::string out, err;
  int outWrites = 0, errWrites = 0, exits = 0;
  std::optional<int> status;
};

} // namespace plenk
