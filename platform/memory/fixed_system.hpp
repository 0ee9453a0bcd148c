// A system with fixed answers.
#pragma once

#include "platform/system.hpp"

namespace plenk {

struct FixedSystem final : System {
  OsVersion version() override { return os; }
  bool canPick() override { return pick; }

  OsVersion os{"Test OS 13.4", 13, 4};
  bool pick = false;
};

} // namespace plenk
