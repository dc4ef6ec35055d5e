#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol::unit {

// The HEJ520 card: three digital inputs, two channel assignments, the output rate.
struct Hej520Image {
  static constexpr std::size_t kFirstName = 8;  // names of inputs 1-3, 16 bytes each
  static constexpr std::size_t kInputCount = 3;
  static constexpr std::size_t kAssign1 = 56;  // u16
  static constexpr std::size_t kAssign2 = 58;  // u16
  static constexpr std::size_t kDisable = 60;  // bit k: input k+1 switched off
  static constexpr std::size_t kCd = 61;       // bit k: input k+1 marked "CD"
  static constexpr std::size_t kRate = 62;     // 0 44.1 kHz, 1 48 kHz, 2 96 kHz
  static constexpr std::size_t kEnd = kRate + 1;

  static constexpr std::size_t NameOffset(std::size_t i) { return kFirstName + 16 * i; }
};

}  // namespace protocol::unit
