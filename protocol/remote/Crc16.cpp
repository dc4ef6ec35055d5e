#include "protocol/remote/Crc16.h"

#include <array>

namespace protocol::remote {

namespace {

constexpr std::uint16_t kPolynomial = 0x1021;

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    auto crc = static_cast<std::uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ kPolynomial : crc << 1);
    }
    table[i] = crc;
  }
  return table;
}
constexpr auto kCrcTable = MakeCrcTable();

}  // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
  for (std::uint8_t b : bytes) {
    crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ b) & 0xFF]);
  }
  return crc;
}

void PutCrcBigEndian(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t crc) {
  bytes[at] = static_cast<std::uint8_t>(crc >> 8);
  bytes[at + 1] = static_cast<std::uint8_t>(crc);
}

}  // namespace protocol::remote
