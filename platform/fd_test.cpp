#include "platform/fd.hpp"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace plenk {
namespace {

std::atomic<int> interruptions{0};
void interrupted(int) {
  ++interruptions;
}

// A slow reader and a timer whose signals interrupt the writer (no SA_RESTART): write(2) then
// returns early, with part of the bytes or with EINTR, and everything must still arrive in order.
TEST(WriteAll, DeliversEverythingThroughSignalsAndShortWrites) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  FileDescriptor readEnd(ends[0]), writeEnd(ends[1]);
  std::string bytes(8 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 7 % 251);

  std::string received;
  std::thread reader([&] {
    char buffer[4096];
    for (;;) {
      ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      received.append(buffer, static_cast<std::size_t>(n));
    }
  });

  struct sigaction action {};
  action.sa_handler = interrupted;
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
  itimerval every{{0, 200}, {0, 200}};
  setitimer(ITIMER_REAL, &every, nullptr);
  bool written = writeAll(writeEnd.get(), bytes);
  itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &previous, nullptr);

  EXPECT_TRUE(writeEnd.close());
  reader.join();
  EXPECT_TRUE(written);
  EXPECT_GT(interruptions.load(), 0);
  EXPECT_TRUE(received == bytes) << received.size() << " of " << bytes.size() << " bytes";
  // A closed or moved-from owner has nothing left to close; a write to nothing fails.
  EXPECT_FALSE(writeEnd);
  EXPECT_FALSE(writeAll(writeEnd.get(), "x"));
}

TEST(FileDescriptor, ClosesOnceWhereverItWasMoved) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  ::close(ends[0]);
  int fd = ends[1];
  {
    FileDescriptor first(fd);
    FileDescriptor second(std::move(first));
    FileDescriptor third;
    third = std::move(second);
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
    EXPECT_EQ(third.get(), fd);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1); // still open while its owner lives
  }
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(errno, EBADF);
}

} // namespace
} // namespace plenk
