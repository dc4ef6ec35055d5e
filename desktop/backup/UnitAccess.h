#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/Clock.h"

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

// The main unit, then every card address 1..slotCount it reports, each
// exchange asked again. An address the unit refuses at once holds no card.
// One whose exchanges run out of time holds a card that has gone silent: it
// does not end the list (as it does for the tabs) but goes to `silent`, so
// that a backup or a restore names it instead of passing over the cards
// behind it. A main unit that runs only its boot software reports no cards:
// none is asked. `clock` times the exchanges.
Found DiscoverUnit(unitlink::CTiroUSB& usb, unitlink::Discovery& found,
                   std::vector<std::uint8_t>& silent, std::string& error,
                   platform::Clock& clock = platform::DefaultClock());

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
