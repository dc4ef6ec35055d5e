#pragma once

#include <filesystem>
#include <string>

#include "sim/UnitState.h"

namespace sim {

// What the unit keeps across power cycles, one record per line: the clock
// offset, software versions, display settings, and per module the stored
// settings, processor records and table entries.
std::string EncodeState(const UnitState& state);
// Takes every record that fits the scenario's modules; a line it does not
// understand is reported on standard error and skipped.
void LoadState(const std::filesystem::path& file, UnitState& state);

}  // namespace sim
