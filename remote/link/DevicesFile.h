#pragma once

#include <string_view>
#include <vector>

#include "remote/link/DeviceStore.h"

namespace remote::link {

// One device of an imported Devices.txt and whether it is marked "*".
struct ImportedDevice {
  DeviceEntry entry;
  bool isDefault = false;
};

// Reads Devices.txt as the installer imports it: lines of at most 2000 bytes
// (longer ones arrive in pieces), each "%c%04X%08lX" then two quoted names;
// a line whose address does not convert is skipped.
std::vector<ImportedDevice> ParseDevicesText(std::string_view text);

}  // namespace remote::link
