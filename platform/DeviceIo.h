#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// A named device and its one device-control call: what the unit's USB driver
// offers the desktop program. Every exchange opens, controls and closes.
class DeviceIo {
 public:
  using Handle = int;
  static constexpr Handle kInvalidHandle = -1;

  virtual ~DeviceIo() = default;
  // Opens the device named by a Windows device path ("\\.\NAME"); kInvalidHandle
  // when there is no such device.
  virtual Handle Open(std::string_view path) = 0;
  // One synchronous control call. `out` is the caller's output buffer (may be
  // empty); `returned` receives the count of bytes the device filled in.
  virtual bool Control(Handle handle, std::uint32_t code, std::span<const std::uint8_t> in,
                       std::span<std::uint8_t> out, std::uint32_t* returned) = 0;
  virtual void Close(Handle handle) = 0;
};

// The device name behind a Windows device path: "\\.\MRXUSBDevice0" gives
// "MRXUSBDevice0". Empty for a path that is not a plain device name (a name
// with separators, "..", or control characters), so no path leaves the
// runtime directory.
std::string DeviceNameFromPath(std::string_view path);

// The backend the programs use: Unix-domain sockets in RuntimeDir(), wrapped
// in tracing when MRX_TRACE=1.
DeviceIo& DefaultDeviceIo();

// Wraps a backend and prints every exchange on standard error.
std::unique_ptr<DeviceIo> MakeTracingDeviceIo(DeviceIo& inner);

}  // namespace platform
