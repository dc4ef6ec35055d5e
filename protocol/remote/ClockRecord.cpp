#include "protocol/remote/ClockRecord.h"

#include "protocol/remote/RecordBytes.h"

namespace protocol::remote {

std::array<std::uint8_t, ClockRecord::kSize> ClockRecord::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  b[kOffYear] = year;
  b[kOffMonth] = month;
  b[kOffDay] = day;
  b[kOffDayOfWeek] = dayOfWeek;
  b[kOffHour] = hour;
  b[kOffMinute] = minute;
  b[kOffSecond] = second;
  return b;
}

ClockRecord ClockRecord::Decode(std::span<const std::uint8_t> payload) {
  const auto b = detail::Padded<kSize>(payload);
  ClockRecord r;
  r.year = b[kOffYear];
  r.month = b[kOffMonth];
  r.day = b[kOffDay];
  r.dayOfWeek = b[kOffDayOfWeek];
  r.hour = b[kOffHour];
  r.minute = b[kOffMinute];
  r.second = b[kOffSecond];
  return r;
}

ClockRecord ClockRecord::FromLocalTime(const platform::LocalTime& t) {
  ClockRecord r;
  r.year = static_cast<std::uint8_t>(t.year - 2000);
  r.month = static_cast<std::uint8_t>(t.month);
  r.day = static_cast<std::uint8_t>(t.day);
  r.dayOfWeek = static_cast<std::uint8_t>(t.dayOfWeek + 1);
  r.hour = static_cast<std::uint8_t>(t.hour);
  r.minute = static_cast<std::uint8_t>(t.minute);
  r.second = static_cast<std::uint8_t>(t.second);
  return r;
}

platform::LocalTime ClockRecord::ToLocalTime() const {
  platform::LocalTime t;
  t.year = 2000 + year;
  t.month = month;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  t.dayOfWeek = 0;
  return t;
}

}  // namespace protocol::remote
