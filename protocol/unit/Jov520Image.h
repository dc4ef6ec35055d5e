#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol::unit {

// The JOV520 drive card: name, auto repeat, front blue LED.
struct Jov520Image {
  static constexpr std::size_t kName = 8;
  static constexpr std::size_t kFlags = 24;  // bit 0: auto repeat (the remote's page)
  static constexpr std::uint8_t kAutoRepeatBit = 0x01;
  static constexpr std::size_t kLedBrightness = 27;  // u8, 0-100
  static constexpr std::uint8_t kMaxBrightness = 100;
  static constexpr std::size_t kEnd = kLedBrightness + 1;
};

}  // namespace protocol::unit
