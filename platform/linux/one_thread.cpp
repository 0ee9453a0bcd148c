#include "platform/linux/one_thread.hpp"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace plenk {

void restartWithOneOpenMpThread(const char* program, char** argv) {
  // Only this marker is looked at: it also stops the restart from repeating.
  const char* limit = std::getenv("OMP_THREAD_LIMIT");
  if (limit != nullptr && std::strcmp(limit, "1") == 0) return;
  if (setenv("OMP_THREAD_LIMIT", "1", 1) != 0) return;
  execv(program, argv);
}

} // namespace plenk
