#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::unit {

// Data of commands 157 and 171 (four u16 in argument order) and 172 (one u16).
struct LiveWords {
  static constexpr std::size_t kFourSize = 8;
  static constexpr std::size_t kOneSize = 2;

  static std::array<std::uint8_t, kFourSize> EncodeFour(std::uint16_t a, std::uint16_t b,
                                                        std::uint16_t c, std::uint16_t d);
  static std::array<std::uint8_t, kOneSize> EncodeOne(std::uint16_t value);
  // Word i of a frame's data.
  static std::uint16_t Word(std::span<const std::uint8_t> data, std::size_t i);
};

// Data of command 160: the equaliser curve the card plays.
struct EqualizerCurveRecord {
  static constexpr std::size_t kSize = 10;
  static constexpr std::size_t kWord = 0;   // bits 1-7 curve number, bit 8 just selected
  static constexpr std::size_t kTimes = 2;  // four u16 time constants t1..t4 in microseconds
  static constexpr std::size_t kTimeCount = 4;
  static constexpr unsigned kCurveShift = 1;
  static constexpr unsigned kCurveMask = 0x7F;
  static constexpr std::uint16_t kSelected = 1u << 8;

  std::uint8_t curve = 0;  // 0-127
  bool selected = false;
  std::array<std::uint16_t, kTimeCount> times{};

  static EqualizerCurveRecord Decode(std::span<const std::uint8_t> in);
  std::array<std::uint8_t, kSize> Encode() const;
};

// Data of command 174: start or stop the unit's Bluetooth module initialisation.
struct BtModuleInitRecord {
  static constexpr std::size_t kSize = 10;
  static constexpr std::size_t kStart = 0;  // u16, bit 0
  static constexpr std::size_t kValue = 2;  // u32, 1 from the page; 4 zero bytes follow
  static constexpr std::uint16_t kStartBit = 1;

  bool start = false;
  std::uint32_t value = 0;

  static BtModuleInitRecord Decode(std::span<const std::uint8_t> in);
  std::array<std::uint8_t, kSize> Encode() const;
};

}  // namespace protocol::unit
