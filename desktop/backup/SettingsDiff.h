#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "desktop/backup/UnitBackup.h"

namespace desktop::backup {

// One difference between two backups of a unit.
struct Difference {
  std::uint8_t address = 0;
  std::string model;  // the module's model, on the side that has it (A first)
  bool curves = false;
  // "level 2", "bytes 40-43", "module", "type", "curve of channel 3"
  std::string what;
  std::string before;  // as side A shows it ("" when there is nothing to show)
  std::string after;   // as side B shows it

  // "QVO520 @3: level 2 -12.5 dB → -10.0 dB"
  std::string Text() const;
};

// The differences from `a` to `b`: per module the changed fields by name for
// known layouts (changed bytes outside them as byte ranges), byte ranges for
// other layouts; modules and curves on one side only; changed curve channels
// with the number of changed bins.
std::vector<Difference> SettingsDiff(const UnitBackup& a, const UnitBackup& b);

}  // namespace desktop::backup
