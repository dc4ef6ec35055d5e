#pragma once

#include <atomic>
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
  // Once an exchange has run out of time, later ones wait only this long until
  // the unit answers again: a window that polls a stopped unit (the clock, a
  // presence test) stays usable instead of freezing for the full limit each time.
  static constexpr int kSilentUnitTimeoutMs = 250;

  // An empty directory means RuntimeDir(), looked up at every open.
  explicit UnixDeviceIo(std::filesystem::path directory = {}, int replyTimeoutMs = kReplyTimeoutMs);

  Handle Open(std::string_view path) override;
  bool Control(Handle handle, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override;
  void Close(Handle handle) override;
  // The last exchange ran out of time and none has been answered since.
  bool Silent() const { return silent_; }

 private:
  int Limit() const;

  std::filesystem::path directory_;
  int replyTimeoutMs_;
  // Set when an exchange ran out of time, cleared by the next answer.
  std::atomic<bool> silent_{false};
};

}  // namespace platform
