#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::remote {

// CRC-16 with polynomial 0x1021, initial 0xFFFF, most significant bit first,
// no reflection, no final XOR. Run over a frame including its CRC, it ends at 0.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0xFFFF);

// Writes `crc` high byte first: the one big-endian field of the stream.
void PutCrcBigEndian(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t crc);

}  // namespace protocol::remote
