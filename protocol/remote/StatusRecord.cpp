#include "protocol/remote/StatusRecord.h"

#include "protocol/remote/RecordBytes.h"

namespace protocol::remote {

std::array<std::uint8_t, StatusRecord::kSize> StatusRecord::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  detail::PutI16(b, kOffVolumeMin, volumeMin);
  detail::PutI16(b, kOffVolumeMax, volumeMax);
  detail::PutI16(b, kOffVolume, volume);
  platform::PutU16(b, kOffVolumeStep, volumeStep);
  platform::PutU16(b, kOffFlags, flags);
  b[kOffSourceSlot] = sourceSlot;
  b[kOffSourceInput] = sourceInput;
  for (std::size_t i = 0; i < buttonSources.size(); ++i) {
    b[kOffButtonSources + 2 * i] = buttonSources[i][0];
    b[kOffButtonSources + 2 * i + 1] = buttonSources[i][1];
  }
  std::copy(bytes24.begin(), bytes24.end(), b.begin() + kOffBytes24);
  platform::PutU16(b, kOffOutputFlags, outputFlags);
  std::copy(bytes30.begin(), bytes30.end(), b.begin() + kOffBytes30);
  return b;
}

StatusRecord StatusRecord::Decode(std::span<const std::uint8_t> payload) {
  const auto b = detail::Padded<kSize>(payload);
  StatusRecord r;
  r.volumeMin = detail::GetI16(b, kOffVolumeMin);
  r.volumeMax = detail::GetI16(b, kOffVolumeMax);
  r.volume = detail::GetI16(b, kOffVolume);
  r.volumeStep = platform::GetU16(b, kOffVolumeStep);
  r.flags = platform::GetU16(b, kOffFlags);
  r.sourceSlot = b[kOffSourceSlot];
  r.sourceInput = b[kOffSourceInput];
  for (std::size_t i = 0; i < r.buttonSources.size(); ++i) {
    r.buttonSources[i] = {b[kOffButtonSources + 2 * i], b[kOffButtonSources + 2 * i + 1]};
  }
  std::copy_n(b.begin() + kOffBytes24, r.bytes24.size(), r.bytes24.begin());
  r.outputFlags = platform::GetU16(b, kOffOutputFlags);
  std::copy_n(b.begin() + kOffBytes30, r.bytes30.size(), r.bytes30.begin());
  return r;
}

}  // namespace protocol::remote
