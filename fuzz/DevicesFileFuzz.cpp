// Devices.txt from a storage card, as the installer imports it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "remote/link/DevicesFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto devices =
      remote::link::ParseDevicesText(std::string_view(reinterpret_cast<const char*>(data), size));
  // Each imported line is written back as the store writes it and reads the same.
  for (const auto& d : devices) {
    const auto line = remote::link::DeviceStore::DevicesLine(d.entry, d.isDefault);
    const auto again = remote::link::ParseDevicesText(line);
    if (again.size() != 1 || !(again[0].entry.address == d.entry.address)) __builtin_trap();
  }
  return 0;
}
