#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::remote {

// Record 55: the CD drive.
struct DiscStatusRecord {
  static constexpr std::size_t kSize = 12;
  static constexpr std::size_t kOffDiscFlags = 0;
  static constexpr std::size_t kOffFirstTrack = 2;
  static constexpr std::size_t kOffLastTrack = 3;
  static constexpr std::size_t kOffTrack = 4;
  static constexpr std::size_t kOffIndex = 5;
  static constexpr std::size_t kOffMinutes = 6;
  static constexpr std::size_t kOffSeconds = 7;
  static constexpr std::size_t kOffTotalMinutes = 8;
  static constexpr std::size_t kOffTotalSeconds = 9;
  static constexpr std::size_t kOffActualSeconds = 10;
  static constexpr std::uint16_t kDiscPresent = 1u << 3;

  std::uint16_t discFlags = 0;
  std::uint8_t firstTrack = 0;
  std::uint8_t lastTrack = 0;
  std::uint8_t track = 0;
  std::uint8_t index = 0;
  std::uint8_t minutes = 0;
  std::uint8_t seconds = 0;
  std::uint8_t totalMinutes = 0;
  std::uint8_t totalSeconds = 0;
  std::uint16_t actualSeconds = 0;  // 0 = no value

  std::array<std::uint8_t, kSize> Encode() const;
  static DiscStatusRecord Decode(std::span<const std::uint8_t> payload);
  bool DiscPresent() const { return (discFlags & kDiscPresent) != 0; }
};

}  // namespace protocol::remote
