#include "hands/args.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {

namespace {
constexpr double PID_LIMIT = 1'000'000;
}

Json verbActivate(Hands& hands, const Json& args) {
  const HandsError notRunning{"bad_args", "That app is not running."};
  auto number = numberArg(args, "pid");
  if (!number || !(*number > 0 && *number < PID_LIMIT)) throw notRunning;
  // Cut towards zero; a fraction below 1 names no process at all.
  int pid = static_cast<int>(*number);
  if (pid < 1 || !hands.workspace.runningApplication(pid)) throw notRunning;
  return {{"activated", hands.workspace.activate(pid)}};
}

} // namespace plenk::hands
