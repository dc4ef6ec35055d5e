#pragma once

#include <filesystem>

#include "platform/DeviceIo.h"

namespace platform {

// Device I/O over Unix-domain sockets: the device "\\.\NAME" is the socket
// DIR/NAME, one connection per open, served by the simulator or a bridge to a
// real driver. Messages follow DeviceWire.h.
class UnixDeviceIo final : public DeviceIo {
 public:
  // How long an open or one whole exchange may take before the device counts
  // as not answering: a stopped or wedged unit fails the call instead of
  // blocking its caller.
  static constexpr int kReplyTimeoutMs = 3000;

  // An empty directory means RuntimeDir(), looked up at every open.
  explicit UnixDeviceIo(std::filesystem::path directory = {}, int replyTimeoutMs = kReplyTimeoutMs);

  Handle Open(std::string_view path) override;
  bool Control(Handle handle, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override;
  void Close(Handle handle) override;

 private:
  std::filesystem::path directory_;
  int replyTimeoutMs_;
};

}  // namespace platform
