#include "protocol/unit/ClockRecord.h"

namespace protocol::unit {

ClockRecord ClockRecord::Decode(std::span<const std::uint8_t> in) {
  ClockRecord r;
  r.day = in[kDay];
  r.month = in[kMonth];
  r.year = 2000 + in[kYear];
  r.hour = in[kHour];
  r.minute = in[kMinute];
  r.second = in[kSecond];
  return r;
}

std::array<std::uint8_t, ClockRecord::kSize> ClockRecord::Encode() const {
  std::array<std::uint8_t, kSize> out{};
  out[kDay] = static_cast<std::uint8_t>(day);
  out[kMonth] = static_cast<std::uint8_t>(month);
  out[kYear] = static_cast<std::uint8_t>(year - 2000);
  out[kHour] = static_cast<std::uint8_t>(hour);
  out[kMinute] = static_cast<std::uint8_t>(minute);
  out[kSecond] = static_cast<std::uint8_t>(second);
  return out;
}

bool ClockRecord::Valid() const {
  return day >= 1 && day <= 31 && month >= 1 && month <= 12 && hour >= 0 && hour <= 23 &&
         minute >= 0 && minute <= 59 && second >= 0 && second <= 59 && year >= 2000 && year <= 2255;
}

}  // namespace protocol::unit
