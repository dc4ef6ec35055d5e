#pragma once

#include <cstdint>

// The window messages of the remote: news of the unit model for the view and
// the open setup page, and what the link's reader hands to the user interface.
namespace remote::link {

enum RemoteMessage : std::uint32_t {
  kWmStatusChanged = 0x600,
  kWmDiscStatus = 0x601,
  kWmUnitInfo = 0x602,
  kWmListComplete = 0x603,
  kWmModuleBlock = 0x604,
  kWmWriteAck = 0x605,
  // Shown to the user: the handheld clock could not be set ("Error=%d").
  kWmClockError = 0x606,
  kWmLinkData = 0x1B08,
  // The reader has a new connection: what was known of the unit may be old.
  kWmLinkConnected = 0x1B09,
  // The handheld woke from suspend (power-event thread); the battery changed.
  kWmPowerResumed = 0x610,
  kWmBatteryChanged = 0x611,
  // The link was connected or dropped (refresh); the known units changed
  // (rebuild the device menu).
  kWmLinkChanged = 0x612,
  kWmDevicesChanged = 0x613,
};
inline constexpr std::intptr_t kUnitInfoWParam = 200;

}  // namespace remote::link
