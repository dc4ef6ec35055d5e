#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::unit {

// The unit's clock on USB: data of command 140 and reply data of command 11.
struct ClockRecord {
  static constexpr std::size_t kSize = 6;
  static constexpr std::size_t kDay = 0;
  static constexpr std::size_t kMonth = 1;
  static constexpr std::size_t kYear = 2;  // year - 2000
  static constexpr std::size_t kHour = 3;
  static constexpr std::size_t kMinute = 4;
  static constexpr std::size_t kSecond = 5;

  int year = 2000;  // full year
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;

  static ClockRecord Decode(std::span<const std::uint8_t> in);
  std::array<std::uint8_t, kSize> Encode() const;
  // A date and time a clock can hold (the unit refuses others).
  bool Valid() const;
};

}  // namespace protocol::unit
