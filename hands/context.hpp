// What every plenk-hands verb is given: the platform services and the little state that
// outlives a request. Built once at start-up by the program (or a test) and passed in.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/clock.hpp"
#include "platform/input_events.hpp"
#include "platform/wording.hpp"
#include "platform/workspace.hpp"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace plenk::hands {

struct Hands {
  Accessibility& ax;
  InputEvents& input;
  Workspace& workspace;
  Clock& clock;
  // Runs a task on the main thread after the tasks already waiting; callable from any thread.
  // Set by the request loop (tests may run tasks inline).
  std::function<void(std::function<void()>)> postToMain;
  // Process ids of browsers whose accessibility was woken; touched on the main thread only.
  std::set<int> wokenBrowsers;
  // The application folders searched, in order (appDirsFor the home folder); filled once at
  // start-up, before the first request.
  std::vector<std::string> appDirs = {};
  // The platform's words for the sentences that name the system; answers are written in them.
  Wording wording = macosWording();
};

} // namespace plenk::hands
