#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol::unit {

// The YOR310 card: name and two offset levels.
struct Yor310Image {
  static constexpr std::size_t kName = 8;
  static constexpr std::size_t kOffset1 = 24;  // i16, 0.1 dB, 0..480
  static constexpr std::size_t kOffset2 = 26;  // i16
  static constexpr std::size_t kEnd = kOffset2 + 2;
};

}  // namespace protocol::unit
