// plenk-hands-sim SCENE.json [--events FILE]: the plenk-hands program over the desktop of a scene
// (docs/scene.md). A scene that cannot be loaded ends the run before the program starts.
#include "hands/channel.hpp"
#include "platform/fd.hpp"
#include "platform/memory/scene.hpp"

#include <csignal>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

constexpr int EXIT_BAD_SCENE = 2;

int refuse(const std::string& message) {
  plenk::writeAll(STDERR_FILENO, "plenk-hands-sim: " + message + "\n");
  return EXIT_BAD_SCENE;
}

} // namespace

int main(int argc, char** argv) {
  const std::string usage = "usage: plenk-hands-sim SCENE.json [--events FILE]";
  std::string scenePath;
  std::optional<std::string> events;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--events" && i + 1 < argc)
      events = argv[++i];
    else if (scenePath.empty() && !arg.starts_with("--"))
      scenePath = arg;
    else
      return refuse(usage);
  }
  if (scenePath.empty()) return refuse(usage);

  plenk::SceneLoad load = plenk::loadSceneFile(scenePath);
  if (!load.scene) return refuse(scenePath + ": " + load.error);
  plenk::MemoryDesktop& desktop = *load.scene->desktop;
  // A long session must not keep every platform call.
  desktop.keepCalls(false);
  if (!events) events = load.scene->eventLog;
  if (events && !desktop.writeEventsTo(*events))
    return refuse("cannot write the event log " + *events);

  std::signal(SIGPIPE, SIG_IGN);
  // Lives until _exit: open answers may still arrive on the desktop's threads.
  static plenk::Scene scene = std::move(*load.scene);
  static plenk::hands::Hands hands{desktop, desktop, desktop, desktop.clock(), {}, {}};
  int status = plenk::hands::runHands(hands, STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO);
  _exit(status);
}
