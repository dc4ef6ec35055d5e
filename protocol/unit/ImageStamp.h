#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace protocol::unit {

// Our own header at the first byte of every synthetic stand-in image: the
// version word and date the image claims, so the simulator can report what it
// was given. Real images carry no stamp.
struct ImageStamp {
  std::uint16_t version = 0;  // bits 0-5 major, bits 6-15 minor
  std::uint16_t year = 0;     // full year
  std::uint8_t month = 0;
  std::uint8_t day = 0;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;

  static constexpr std::array<std::uint8_t, 4> kMagic{'M', 'R', 'X', 'S'};
  static constexpr std::size_t kOffMagic = 0;
  static constexpr std::size_t kOffVersion = 4;
  static constexpr std::size_t kOffYear = 6;
  static constexpr std::size_t kOffMonth = 8;
  static constexpr std::size_t kOffDay = 9;
  static constexpr std::size_t kOffHour = 10;
  static constexpr std::size_t kOffMinute = 11;
  static constexpr std::size_t kOffSecond = 12;
  static constexpr std::size_t kSize = 14;  // even, so unit images stay even

  std::array<std::uint8_t, kSize> Encode() const {
    std::array<std::uint8_t, kSize> b{};
    for (std::size_t i = 0; i < kMagic.size(); ++i) b[kOffMagic + i] = kMagic[i];
    b[kOffVersion] = static_cast<std::uint8_t>(version);
    b[kOffVersion + 1] = static_cast<std::uint8_t>(version >> 8);
    b[kOffYear] = static_cast<std::uint8_t>(year);
    b[kOffYear + 1] = static_cast<std::uint8_t>(year >> 8);
    b[kOffMonth] = month;
    b[kOffDay] = day;
    b[kOffHour] = hour;
    b[kOffMinute] = minute;
    b[kOffSecond] = second;
    return b;
  }

  // None when the bytes do not begin with a stamp.
  static std::optional<ImageStamp> Decode(std::span<const std::uint8_t> b) {
    if (b.size() < kSize) return std::nullopt;
    for (std::size_t i = 0; i < kMagic.size(); ++i) {
      if (b[kOffMagic + i] != kMagic[i]) return std::nullopt;
    }
    ImageStamp s;
    s.version = static_cast<std::uint16_t>(b[kOffVersion] | (b[kOffVersion + 1] << 8));
    s.year = static_cast<std::uint16_t>(b[kOffYear] | (b[kOffYear + 1] << 8));
    s.month = b[kOffMonth];
    s.day = b[kOffDay];
    s.hour = b[kOffHour];
    s.minute = b[kOffMinute];
    s.second = b[kOffSecond];
    return s;
  }
};

}  // namespace protocol::unit
