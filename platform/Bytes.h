#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace platform {

// Little-endian field access: every wire and file of the unit is little-endian.
inline std::uint16_t GetU16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t GetU32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
inline void PutU16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// "02 00 0A ..." : two-digit hex bytes separated by blanks.
std::string HexBytes(std::span<const std::uint8_t> bytes);

}  // namespace platform
