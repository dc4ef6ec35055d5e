#include "sim/UnitState.h"

namespace sim {

ModuleState* UnitState::FindModule(std::uint8_t address) {
  auto it = modules.find(address);
  if (it == modules.end()) return nullptr;
  // Cards beyond the unit's slot count are not on its bus.
  if (address > scenario.slotCount) return nullptr;
  return &it->second;
}

}  // namespace sim
