#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol::unit {

// The NVO310 converter card: seven analogue inputs in three groups.
struct Nvo310Image {
  // Names, 16 bytes each: stereo 1-4, the 5.1 input, the stereo input of its
  // group, the 7.1 input.
  static constexpr std::size_t kFirstName = 8;
  static constexpr std::size_t kInputCount = 7;
  static constexpr std::size_t kDisable = 120;  // bits 0-6 in name order: input switched off
  static constexpr std::size_t kFlags = 122;    // bit 0 high-pass, bits 1-2 active group
  static constexpr std::uint8_t kHighPassBit = 0x01;
  static constexpr unsigned kGroupShift = 1;
  static constexpr std::uint8_t kGroupMask = 0x06;
  static constexpr std::uint8_t kGroupStereo = 0;
  static constexpr std::uint8_t kGroupMc51 = 2;
  static constexpr std::uint8_t kGroupMc71 = 4;
  static constexpr std::size_t kEnd = kFlags + 1;

  static constexpr std::size_t NameOffset(std::size_t i) { return kFirstName + 16 * i; }
};

}  // namespace protocol::unit
