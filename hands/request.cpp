#include "hands/verbs.hpp"

#include <string>

namespace plenk::hands {

Json verbRequest(Hands& hands, const Json& args) {
  std::string what;
  if (auto it = args.find("what"); it != args.end() && it->is_string())
    what = it->get<std::string>();
  // Neither branch checks first or waits for the user: the answer is the state right after asking.
  if (what == "accessibility") return {{"granted", hands.ax.isTrustedWithPrompt()}};
  if (what == "screen") return {{"granted", hands.input.requestScreenCapture()}};
  throw HandsError{"bad_args", "request takes what: accessibility or screen."};
}

} // namespace plenk::hands
