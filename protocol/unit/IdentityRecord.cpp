#include "protocol/unit/IdentityRecord.h"

#include "platform/Bytes.h"

namespace protocol::unit {

IdentityRecord IdentityRecord::Decode(std::span<const std::uint8_t> in) {
  IdentityRecord r;
  r.leading = in[kLeading];
  r.deliveryYear = in[kDeliveryYear];
  r.deliveryMonth = in[kDeliveryMonth];
  r.deliveryDay = in[kDeliveryDay];
  r.serial = platform::GetU16(in, kSerial);
  r.trailing = platform::GetU16(in, kTrailing);
  return r;
}

std::array<std::uint8_t, IdentityRecord::kSize> IdentityRecord::Encode() const {
  std::array<std::uint8_t, kSize> out{};
  out[kLeading] = leading;
  EncodeDateAndSerialInto(out);
  platform::PutU16(out, kTrailing, trailing);
  return out;
}

void IdentityRecord::EncodeDateAndSerialInto(std::span<std::uint8_t> image) const {
  image[kDeliveryYear] = deliveryYear;
  image[kDeliveryMonth] = deliveryMonth;
  image[kDeliveryDay] = deliveryDay;
  platform::PutU16(image, kSerial, serial);
}

IdentityRecord IdentityRecord::New(int year, int month, int day) {
  IdentityRecord r;
  r.deliveryYear = static_cast<std::uint8_t>(year - 2000);
  r.deliveryMonth = static_cast<std::uint8_t>(month);
  r.deliveryDay = static_cast<std::uint8_t>(day);
  r.serial = kNewSerial;
  return r;
}

}  // namespace protocol::unit
