#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/UnitState.h"

namespace sim {

// One source a user can select: the module's slot, its input there, the
// module type and the name the unit lists and shows for it.
struct SourceEntry {
  std::uint8_t slot;
  std::uint8_t input;
  std::uint8_t type;
  std::string name;
};

// Every source of the modules on the unit's bus, in slot order.
std::vector<SourceEntry> ListSources(UnitState& state);

}  // namespace sim
