#include "protocol/remote/DiscStatusRecord.h"

#include "protocol/remote/RecordBytes.h"

namespace protocol::remote {

std::array<std::uint8_t, DiscStatusRecord::kSize> DiscStatusRecord::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  platform::PutU16(b, kOffDiscFlags, discFlags);
  b[kOffFirstTrack] = firstTrack;
  b[kOffLastTrack] = lastTrack;
  b[kOffTrack] = track;
  b[kOffIndex] = index;
  b[kOffMinutes] = minutes;
  b[kOffSeconds] = seconds;
  b[kOffTotalMinutes] = totalMinutes;
  b[kOffTotalSeconds] = totalSeconds;
  platform::PutU16(b, kOffActualSeconds, actualSeconds);
  return b;
}

DiscStatusRecord DiscStatusRecord::Decode(std::span<const std::uint8_t> payload) {
  const auto b = detail::Padded<kSize>(payload);
  DiscStatusRecord r;
  r.discFlags = platform::GetU16(b, kOffDiscFlags);
  r.firstTrack = b[kOffFirstTrack];
  r.lastTrack = b[kOffLastTrack];
  r.track = b[kOffTrack];
  r.index = b[kOffIndex];
  r.minutes = b[kOffMinutes];
  r.seconds = b[kOffSeconds];
  r.totalMinutes = b[kOffTotalMinutes];
  r.totalSeconds = b[kOffTotalSeconds];
  r.actualSeconds = platform::GetU16(b, kOffActualSeconds);
  return r;
}

}  // namespace protocol::remote
