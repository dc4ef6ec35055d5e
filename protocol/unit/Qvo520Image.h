#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace protocol::unit {

// The QVO520 output card (types 2 and 3): four levels, four channel
// assignments and the operating mode.
struct Qvo520Image {
  static constexpr std::size_t kName = 8;
  static constexpr std::size_t kLevel1 = 24;   // i16, 0.1 dB, -300..100
  static constexpr std::size_t kAssign1 = 28;  // u16, index in the channel list
  static constexpr std::size_t kAssign2 = 30;
  static constexpr std::size_t kMode = 34;  // u16: 0 mono bi-amping, 1 stereo
  static constexpr std::size_t kLevel2 = 36;
  static constexpr std::size_t kLevel3 = 38;
  static constexpr std::size_t kLevel4 = 40;
  static constexpr std::size_t kAssign3 = 42;
  static constexpr std::size_t kAssign4 = 44;
  static constexpr std::size_t kEnd = kAssign4 + 2;
  static constexpr std::size_t kProcessorCount = 2;  // 0 left, 1 right

  // In slider order (command 157) and list order (command 171).
  static constexpr std::array<std::size_t, 4> kLevels = {kLevel1, kLevel2, kLevel3, kLevel4};
  static constexpr std::array<std::size_t, 4> kAssigns = {kAssign1, kAssign2, kAssign3, kAssign4};
};

}  // namespace protocol::unit
