#include "protocol/unit/Klf310Image.h"

#include "platform/Bytes.h"

namespace protocol::unit {

Klf310VersionEntry Klf310VersionEntry::Decode(std::span<const std::uint8_t> in) {
  Klf310VersionEntry e;
  e.valid = platform::GetU32(in, kMarker) == kValidMarker;
  e.major = in[kMajor];
  e.minor = platform::GetU16(in, kMinor);
  e.day = in[kDay];
  e.month = in[kMonth];
  e.year = platform::GetU16(in, kYear);
  return e;
}

std::array<std::uint8_t, Klf310VersionEntry::kSize> Klf310VersionEntry::Encode() const {
  std::array<std::uint8_t, kSize> out{};
  platform::PutU32(out, kMarker, valid ? kValidMarker : 0);
  out[kMajor] = major;
  platform::PutU16(out, kMinor, minor);
  out[kDay] = day;
  out[kMonth] = month;
  platform::PutU16(out, kYear, year);
  return out;
}

}  // namespace protocol::unit
