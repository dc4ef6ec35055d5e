#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::unit {

// Data of command 165, which begins a download into a QVO520 signal processor.
struct CardDownloadBegin {
  static constexpr std::size_t kSize = 12;
  static constexpr std::size_t kProcessor = 0;     // 0 or 1
  static constexpr std::size_t kVersionMajor = 1;  // low 6 bits of the version word
  static constexpr std::size_t kVersionMinor = 2;  // u16, version word >> 6
  static constexpr std::size_t kDay = 4;
  static constexpr std::size_t kMonth = 5;
  static constexpr std::size_t kYear = 6;      // u16, full year
  static constexpr std::size_t kChecksum = 8;  // u32, sum of both packages' checksums

  std::uint8_t processor = 0;
  std::uint8_t versionMajor = 0;
  std::uint16_t versionMinor = 0;
  std::uint8_t day = 0;
  std::uint8_t month = 0;
  std::uint16_t year = 0;
  std::uint32_t checksum = 0;

  static CardDownloadBegin Decode(std::span<const std::uint8_t> in);
  std::array<std::uint8_t, kSize> Encode() const;
};

}  // namespace protocol::unit
