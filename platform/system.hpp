// The operating system this runs on.
#pragma once

#include <cstdint>
#include <string>

namespace plenk {

struct OsVersion {
  std::string text; // the system's own human-readable name and version
  std::int64_t major = 0;
  std::int64_t minor = 0;
};

struct System {
  virtual ~System() = default;
  virtual OsVersion version() = 0;
  // Whether choosing photographs and videos through the system picker can run here.
  virtual bool canPick() = 0;
};

// The system of this machine.
System& thisSystem();

} // namespace plenk
