#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::klf {

// One bin of a KLF310 correction curve: two little-endian 32-bit words.
// W0 holds room levels 1-3 (10 bits each), W1 the amplitude (signed byte,
// 0.1 dB), the phase (signed 12 bits, degrees) and room level 4.
struct CurveBin {
  static constexpr std::size_t kSize = 8;
  static constexpr int kRoomCount = 4;
  static constexpr int kBinCount = 2048;  // bins of one channel's curve
  static constexpr double kBinSpacingHz = 48000.0 / kBinCount;
  static constexpr std::uint16_t kMaxLevelCode = 1020;  // +12.0 dB
  static constexpr std::uint16_t kZeroDbLevelCode = 900;
  static constexpr int kMinPhase = -2048;
  static constexpr int kMaxPhase = 2047;

  std::array<std::uint16_t, kRoomCount> roomLevel{};  // codes 0..1020
  std::int8_t amplitude = 0;                          // 0.1 dB
  std::int16_t phase = 0;                             // degrees, 12-bit range

  // Field values outside their bit widths are masked, never spill into
  // their neighbours.
  std::array<std::uint8_t, kSize> Encode() const;
  // `bytes` holds at least kSize bytes.
  static CurveBin Decode(std::span<const std::uint8_t> bytes);

  // trunc((dB + 90) * 10), clamped to 0..1020; decimal text such as -89.9
  // gives its code (1), not the one below it.
  static std::uint16_t LevelCode(double db);
  static double LevelDb(std::uint16_t code);
  static double FrequencyHz(int bin) { return bin * kBinSpacingHz; }

  bool operator==(const CurveBin&) const = default;
};

}  // namespace protocol::klf
