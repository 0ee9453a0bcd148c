// Turning what the user calls an application into one bundle on disk.
#pragma once

#include "hands/context.hpp"
#include "platform/json.hpp"

#include <string>
#include <string_view>

namespace plenk::hands {

struct ResolvedApp {
  std::string path;     // the bundle's location
  std::string name;     // appName of the location
  std::string bundleId; // the bundle's identifier, "" when it has none
};

// The last path component without its extension: /Applications/X.Y.app gives X.Y.
std::string appName(std::string_view path);

// The resolved application for a bundle location.
ResolvedApp pack(Workspace& workspace, std::string path);

// `name` under `args` as a string; "" when absent or not a string.
std::string nameArg(const Json& args);

// A bundle identifier (when the text looks like one), else a running regular application by
// display name, else a bundle in hands.appDirs by file name. Throws HandsError "bad_args" for a
// name that cannot name an application and "not_found" when nothing matches.
ResolvedApp resolveApp(Hands& hands, std::string_view name);

} // namespace plenk::hands
