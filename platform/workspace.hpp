// Running and installed applications.
#pragma once

namespace plenk {

struct Workspace {
  virtual ~Workspace() = default;
};

} // namespace plenk
