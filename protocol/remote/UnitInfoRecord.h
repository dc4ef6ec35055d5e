#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::remote {

// Record 32: what the unit is made of.
struct UnitInfoRecord {
  static constexpr std::size_t kSize = 56;
  static constexpr std::size_t kOffSerialNumber = 0;
  static constexpr std::size_t kOffInputMasks = 2;  // u16 x 16, module address 0 first
  static constexpr std::size_t kOffBytes34 = 34;
  static constexpr std::size_t kOffGroupMasks = 40;  // u8 x 4, group A first
  static constexpr std::size_t kOffBytes44 = 44;
  // A fresh unit's groups: A channels 1-2, B 3-4, C 5-6, D 7-8.
  static constexpr std::array<std::uint8_t, 4> kDefaultGroupMasks = {0x03, 0x0C, 0x30, 0xC0};

  std::uint16_t serialNumber = 0;
  std::array<std::uint16_t, 16> inputMasks{};
  std::array<std::uint8_t, 6> bytes34{};
  std::array<std::uint8_t, 4> groupMasks{};
  std::array<std::uint8_t, 12> bytes44{};

  std::array<std::uint8_t, kSize> Encode() const;
  static UnitInfoRecord Decode(std::span<const std::uint8_t> payload);
};

}  // namespace protocol::remote
