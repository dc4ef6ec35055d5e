#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace remote::link {

// CRC-16 with polynomial 0x1021, initial 0xFFFF, most significant bit first,
// no reflection, no final XOR. Run over a frame including its CRC, it ends at 0.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0xFFFF);

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

}  // namespace remote::link
