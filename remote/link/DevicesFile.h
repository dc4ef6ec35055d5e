#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
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

// Ten entries take a few kilobytes; a file far larger is not a device list.
inline constexpr std::size_t kMaxDevicesFileBytes = 1 << 20;

// Reads and parses a Devices.txt from a storage card. False with `error`
// ("PATH: reason") when it cannot be read or is larger than
// kMaxDevicesFileBytes, which is refused before it is read.
bool ReadDevicesFile(const std::filesystem::path& path, std::vector<ImportedDevice>& devices,
                     std::string& error);

}  // namespace remote::link
