#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol::unit {

// The main unit's settings image (module address 0), beyond its identity record.
// Every other byte is the unit's and goes back as read.
struct MainUnitImage {
  static constexpr std::size_t kHddOption = 8;  // u16, bit 0
  static constexpr std::uint16_t kHddOptionBit = 1u << 0;
  static constexpr std::size_t kOptions = 64;             // u16
  static constexpr std::uint16_t kLanguageBit = 1u << 1;  // 0 English, 1 Deutsch
  static constexpr std::uint16_t kClockDisplayBit = 1u << 10;
  static constexpr std::size_t kVolumeStep = 77;  // u8, tenths of a dB
  static constexpr std::size_t kAltScreen = 106;  // u16, seconds, 0 = off
  static constexpr std::size_t kEnd = kAltScreen + 2;
};

}  // namespace protocol::unit
