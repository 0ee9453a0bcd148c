#include "platform/linux/one_thread.hpp"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace plenk {
namespace {

// Runs the restart in a child whose environment starts with `limit` (or without the variable),
// restarting into a shell that exits with 7 when it sees the limit of one. Gives the child's
// exit status; 0 means the restart returned without replacing the process.
int childStatus(const char* limit) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (limit)
      setenv("OMP_THREAD_LIMIT", limit, 1);
    else
      unsetenv("OMP_THREAD_LIMIT");
    char sh[] = "sh";
    char c[] = "-c";
    char script[] = "test \"$OMP_THREAD_LIMIT\" = 1 && exit 7; exit 9";
    char* argv[] = {sh, c, script, nullptr};
    restartWithOneOpenMpThread("/bin/sh", argv);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(OneOpenMpThread, RestartsOnceWithTheLimitSet) {
  EXPECT_EQ(childStatus(nullptr), 7);
  EXPECT_EQ(childStatus("4"), 7);
  EXPECT_EQ(childStatus(""), 7);
  // Already limited: no restart, the program goes on.
  EXPECT_EQ(childStatus("1"), 0);
}

TEST(OneOpenMpThread, GoesOnWhenTheProgramCannotBeStarted) {
  const pid_t pid = fork();
  if (pid == 0) {
    unsetenv("OMP_THREAD_LIMIT");
    char name[] = "missing";
    char* argv[] = {name, nullptr};
    restartWithOneOpenMpThread("/nonexistent/program", argv);
    _exit(3);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
}

} // namespace
} // namespace plenk
