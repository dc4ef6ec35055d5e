#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol::unit {

// The TWR310i converter card: name, two output levels, two channel assignments.
struct Twr310iImage {
  static constexpr std::size_t kName = 8;
  static constexpr std::size_t kLevel1 = 24;   // i16, 0.1 dB, -300..100
  static constexpr std::size_t kAssign1 = 28;  // u16
  static constexpr std::size_t kAssign2 = 30;  // u16
  static constexpr std::size_t kLevel2 = 32;   // i16
  static constexpr std::size_t kEnd = kLevel2 + 2;
};

}  // namespace protocol::unit
