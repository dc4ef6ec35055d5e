#include "protocol/remote/UnitInfoRecord.h"

#include "protocol/remote/RecordBytes.h"

namespace protocol::remote {

std::array<std::uint8_t, UnitInfoRecord::kSize> UnitInfoRecord::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  platform::PutU16(b, kOffSerialNumber, serialNumber);
  for (std::size_t i = 0; i < inputMasks.size(); ++i) {
    platform::PutU16(b, kOffInputMasks + 2 * i, inputMasks[i]);
  }
  std::copy(bytes34.begin(), bytes34.end(), b.begin() + kOffBytes34);
  std::copy(groupMasks.begin(), groupMasks.end(), b.begin() + kOffGroupMasks);
  std::copy(bytes44.begin(), bytes44.end(), b.begin() + kOffBytes44);
  return b;
}

UnitInfoRecord UnitInfoRecord::Decode(std::span<const std::uint8_t> payload) {
  const auto b = detail::Padded<kSize>(payload);
  UnitInfoRecord r;
  r.serialNumber = platform::GetU16(b, kOffSerialNumber);
  for (std::size_t i = 0; i < r.inputMasks.size(); ++i) {
    r.inputMasks[i] = platform::GetU16(b, kOffInputMasks + 2 * i);
  }
  std::copy_n(b.begin() + kOffBytes34, r.bytes34.size(), r.bytes34.begin());
  std::copy_n(b.begin() + kOffGroupMasks, r.groupMasks.size(), r.groupMasks.begin());
  std::copy_n(b.begin() + kOffBytes44, r.bytes44.size(), r.bytes44.begin());
  return r;
}

}  // namespace protocol::remote
