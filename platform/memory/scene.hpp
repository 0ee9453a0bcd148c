// Scene files: a desktop described in JSON (docs/scene.md), loaded into an in-memory desktop.
#pragma once

#include "platform/memory/desktop.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace plenk {

struct Scene {
  std::unique_ptr<MemoryDesktop> desktop;
  // The event log file the scene names (relative names taken from the scene's folder), or none.
  std::optional<std::string> eventLog;
  bool realClock = false;
};

// A scene, or the one-line reason it was refused, naming the place in the file:
// "apps[0].tree.children[3].AXSize: expected [width, height]".
struct SceneLoad {
  std::optional<Scene> scene;
  std::string error;
};

// Loads a scene from JSON text; `folder` is where relative file names in it start.
SceneLoad loadScene(std::string_view text, const std::string& folder);
// Loads a scene file.
SceneLoad loadSceneFile(const std::string& path);

} // namespace plenk
