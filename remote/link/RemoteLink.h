#pragma once

#include <cstdint>
#include <span>

#include "platform/Bytes.h"

namespace remote::link {

// What the stream protocol needs of a link: send one frame (the link adds
// magic, length and CRC) and whether the link is open.
class RemoteLink {
 public:
  virtual ~RemoteLink() = default;
  // True only when every byte of the frame was written.
  virtual bool Send(std::uint16_t command, std::span<const std::uint8_t> payload) = 0;
  // The socket exists, connected or not.
  virtual bool IsOpen() const = 0;

  bool SendBare(std::uint16_t command) { return Send(command, {}); }
  bool SendU16(std::uint16_t command, std::uint16_t value) {
    std::uint8_t payload[2];
    platform::PutU16(payload, 0, value);
    return Send(command, payload);
  }
};

}  // namespace remote::link
