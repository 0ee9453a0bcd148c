// One element of the in-memory accessibility tree (shared by the tree's two source files).
#pragma once

#include "platform/memory/accessibility.hpp"

namespace plenk {

struct MemoryAccessibility::Node {
  enum class Kind { system, application, element } kind = Kind::element;
  int pid = 0;
  std::string name; // fixed when made: read without the lock
  std::map<std::string, Attr, std::less<>> attrs;
  std::optional<double> latency;
  std::optional<AxStatus> pidStatus;
  bool gone = false;
  std::weak_ptr<Node> parent;

  // The elements of "AXChildren", or none.
  const std::vector<Element>* children() const {
    auto it = attrs.find("AXChildren");
    if (it == attrs.end() || !it->second.value) return nullptr;
    return std::get_if<std::vector<Element>>(&*it->second.value);
  }
};

} // namespace plenk
