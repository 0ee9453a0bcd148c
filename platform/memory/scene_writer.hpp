// Writing scene files: the reverse of the loader (scene.hpp). A desktop snapshot becomes a scene
// that loads into a desktop answering every read that was made as it was answered then.
#pragma once

#include "platform/desktop_snapshot.hpp"
#include "platform/json.hpp"

#include <string>

namespace plenk {

// The scene of a snapshot. Elements that something refers to get ids ("e1", "e2", ... in the
// order they are written); references to elements that are not in the snapshot are left out.
Json sceneJson(const DesktopSnapshot& snapshot);

// A scene as text: one element object per line, its children indented below it.
std::string sceneText(const Json& scene);

} // namespace plenk
