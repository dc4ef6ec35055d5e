#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::unit {

// Reply data of command 45. Only byte 2, bit 0 means anything to the desktop.
struct StatusRecord {
  static constexpr std::size_t kSize = 10;
  static constexpr std::size_t kErrors = 2;
  static constexpr std::uint8_t kEepromError = 0x01;

  static bool EepromError(std::span<const std::uint8_t> status) {
    return (status[kErrors] & kEepromError) != 0;
  }
};

}  // namespace protocol::unit
