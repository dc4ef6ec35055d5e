#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/LocalTime.h"

namespace protocol::remote {

// Record 30 and command 30: the clock, in the stream's own order.
struct ClockRecord {
  static constexpr std::size_t kSize = 11;
  static constexpr std::size_t kOffYear = 0;  // year - 2000
  static constexpr std::size_t kOffMonth = 1;
  static constexpr std::size_t kOffDay = 2;
  static constexpr std::size_t kOffDayOfWeek = 3;  // 1 = Sunday
  static constexpr std::size_t kOffHour = 4;
  static constexpr std::size_t kOffMinute = 5;
  static constexpr std::size_t kOffSecond = 6;
  // Bytes 7-10 are zero.

  std::uint8_t year = 0;
  std::uint8_t month = 1;
  std::uint8_t day = 1;
  std::uint8_t dayOfWeek = 1;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;

  std::array<std::uint8_t, kSize> Encode() const;
  static ClockRecord Decode(std::span<const std::uint8_t> payload);
  static ClockRecord FromLocalTime(const platform::LocalTime& t);
  // Day of week is not taken from the record.
  platform::LocalTime ToLocalTime() const;
};

}  // namespace protocol::remote
