#include "sim/SimDeviceIo.h"

#include "sim/DeviceServer.h"

namespace sim {

platform::DeviceIo::Handle SimDeviceIo::Open(std::string_view path) {
  if (platform::DeviceNameFromPath(path) != kUnitDeviceName || !unit_.IsPresent()) {
    return kInvalidHandle;
  }
  return 1;
}

bool SimDeviceIo::Control(Handle handle, std::uint32_t code, std::span<const std::uint8_t> in,
                          std::span<std::uint8_t> out, std::uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  if (handle != 1) return false;
  const bool ok = unit_.HandleControl(code, in, out);
  if (ok && returned != nullptr) *returned = static_cast<std::uint32_t>(out.size());
  return ok;
}

}  // namespace sim
