#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace protocol::remote {

// One frame of the stream, in either direction.
struct RemoteFrame {
  std::uint16_t command = 0;
  std::uint16_t reserved = 0;
  std::vector<std::uint8_t> payload;

  // Magic, length, command, reserved, payload and CRC: payload.size() + 10 bytes.
  std::vector<std::uint8_t> Encode() const;
  // A complete frame of exactly `bytes.size()` bytes whose length field and CRC
  // agree; false otherwise.
  static bool Decode(std::span<const std::uint8_t> bytes, RemoteFrame& out);
};

}  // namespace protocol::remote
