#include "protocol/unit/CardDownloadBegin.h"

#include "platform/Bytes.h"

namespace protocol::unit {

CardDownloadBegin CardDownloadBegin::Decode(std::span<const std::uint8_t> in) {
  CardDownloadBegin b;
  b.processor = in[kProcessor];
  b.versionMajor = in[kVersionMajor];
  b.versionMinor = platform::GetU16(in, kVersionMinor);
  b.day = in[kDay];
  b.month = in[kMonth];
  b.year = platform::GetU16(in, kYear);
  b.checksum = platform::GetU32(in, kChecksum);
  return b;
}

std::array<std::uint8_t, CardDownloadBegin::kSize> CardDownloadBegin::Encode() const {
  std::array<std::uint8_t, kSize> out{};
  out[kProcessor] = processor;
  out[kVersionMajor] = versionMajor;
  platform::PutU16(out, kVersionMinor, versionMinor);
  out[kDay] = day;
  out[kMonth] = month;
  platform::PutU16(out, kYear, year);
  platform::PutU32(out, kChecksum, checksum);
  return out;
}

}  // namespace protocol::unit
