#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"

namespace desktop::backup {

// How often an exchange is asked before it counts as failed: a unit that
// drops one exchange takes the next.
inline constexpr int kAttempts = 3;

template <typename Exchange>
bool Asked(Exchange exchange) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (exchange()) return true;
  }
  return false;
}

enum class Found { kUnit, kNoUnit, kNoAnswer };

// The main unit, then card addresses 1..slotCount up to the first that does
// not answer, as the desktop program finds them; each exchange asked again.
Found DiscoverUnit(unitlink::CTiroUSB& usb, unitlink::Discovery& found, std::string& error);

// The main unit and the cards in address order.
std::vector<unitlink::ModuleInfo> AllModules(const unitlink::Discovery& found);

// "module 3 (QVO520)"
std::string ModuleName(const unitlink::ModuleInfo& module);

// Writes `image` chunk by chunk, each asked again when it fails, and stores
// it; a chunk that never goes out leaves the stored copy untouched.
bool WriteImage(unitlink::CTiroUSB& usb, std::uint8_t address, std::span<const std::uint8_t> image);

// The module's settings image as it is now (the unit's working copy, or its
// stored copy with `stored`); false when it could not be read whole.
bool ReadImage(unitlink::CTiroUSB& usb, const unitlink::ModuleInfo& module, bool stored,
               std::vector<std::uint8_t>& image);

}  // namespace desktop::backup
