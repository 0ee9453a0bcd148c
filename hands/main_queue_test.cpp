#include "hands/main_queue.hpp"

#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

namespace plenk::hands {
namespace {

TEST(MainQueue, RunsTasksOneAtATimeInPostedOrderUntilStopped) {
  MainQueue queue;
  std::vector<int> ran;
  // Posted from another thread while the queue runs; tasks also post further tasks.
  std::thread poster([&] {
    for (int i = 0; i < 1000; ++i)
      queue.post([&, i] {
        ran.push_back(i);
        if (i == 500) throw std::runtime_error("one task failing stops nothing");
      });
    queue.post([&] {
      queue.post([&] { ran.push_back(-1); });
      queue.post([&] { queue.stop(); });
      queue.post([&] { ran.push_back(-2); });
    });
  });
  queue.run();
  poster.join();
  // The task behind stop never ran.
  ASSERT_EQ(ran.size(), 1001u);
  for (int i = 0; i < 1000; ++i)
    EXPECT_EQ(ran[i], i);
  EXPECT_EQ(ran.back(), -1);
}

} // namespace
} // namespace plenk::hands
