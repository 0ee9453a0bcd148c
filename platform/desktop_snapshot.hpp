// What one look at a desktop found, in the seam's own terms: the running applications, the one
// in front, each captured application's elements with the attribute reads that were made, and
// the installed applications. A capture fills it; the scene writer turns it into a scene file.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/workspace.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plenk {

struct SnapshotElement {
  Element element; // its identity: what references to it are resolved by
  // The reads made, in order. A read that failed keeps its status.
  std::vector<std::pair<std::string, AxResult<AttrValue>>> attributes;
  // Written inside it; its "AXChildren" read says the order the desktop gave, where that differs.
  std::vector<SnapshotElement> children;
};

struct SnapshotApp {
  RunningApp app;
  std::optional<SnapshotElement> tree; // its application element, when it was captured
};

struct DesktopSnapshot {
  bool trusted = false;
  std::vector<SnapshotApp> apps;
  std::optional<int> frontmost; // none: nothing in front
  std::string home;
  // The application folders in search order, each with its listing (none: unreadable).
  std::vector<std::pair<std::string, std::optional<std::vector<std::string>>>> folders;
  // The installed applications that have an identifier: location and identifier.
  std::vector<std::pair<std::string, std::string>> bundles;
};

} // namespace plenk
