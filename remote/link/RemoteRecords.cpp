#include "remote/link/RemoteRecords.h"

#include <algorithm>

#include "platform/Bytes.h"

namespace remote::link {

namespace {

// The payload zero-padded (or cut) to a record's size.
template <std::size_t N>
std::array<std::uint8_t, N> Padded(std::span<const std::uint8_t> payload) {
  std::array<std::uint8_t, N> out{};
  std::copy_n(payload.begin(), std::min(N, payload.size()), out.begin());
  return out;
}

std::int16_t GetI16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::int16_t>(platform::GetU16(b, at));
}
void PutI16(std::span<std::uint8_t> b, std::size_t at, std::int16_t v) {
  platform::PutU16(b, at, static_cast<std::uint16_t>(v));
}

// NUL-terminated 8-bit text within `field`.
std::string Text(std::span<const std::uint8_t> field) {
  const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
  return std::string(field.begin(), end);
}

}  // namespace

std::array<std::uint8_t, StatusRecord::kSize> StatusRecord::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  PutI16(b, 0, volumeMin);
  PutI16(b, 2, volumeMax);
  PutI16(b, 4, volume);
  platform::PutU16(b, 6, volumeStep);
  platform::PutU16(b, 8, flags);
  b[10] = sourceSlot;
  b[11] = sourceInput;
  for (std::size_t i = 0; i < buttonSources.size(); ++i) {
    b[12 + 2 * i] = buttonSources[i][0];
    b[13 + 2 * i] = buttonSources[i][1];
  }
  std::copy(bytes24.begin(), bytes24.end(), b.begin() + 24);
  platform::PutU16(b, 28, outputFlags);
  std::copy(bytes30.begin(), bytes30.end(), b.begin() + 30);
  return b;
}

StatusRecord StatusRecord::Decode(std::span<const std::uint8_t> payload) {
  const auto b = Padded<kSize>(payload);
  StatusRecord r;
  r.volumeMin = GetI16(b, 0);
  r.volumeMax = GetI16(b, 2);
  r.volume = GetI16(b, 4);
  r.volumeStep = platform::GetU16(b, 6);
  r.flags = platform::GetU16(b, 8);
  r.sourceSlot = b[10];
  r.sourceInput = b[11];
  for (std::size_t i = 0; i < r.buttonSources.size(); ++i) {
    r.buttonSources[i] = {b[12 + 2 * i], b[13 + 2 * i]};
  }
  std::copy_n(b.begin() + 24, r.bytes24.size(), r.bytes24.begin());
  r.outputFlags = platform::GetU16(b, 28);
  std::copy_n(b.begin() + 30, r.bytes30.size(), r.bytes30.begin());
  return r;
}

std::array<std::uint8_t, UnitInfoRecord::kSize> UnitInfoRecord::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  platform::PutU16(b, 0, serialNumber);
  for (std::size_t i = 0; i < inputMasks.size(); ++i) platform::PutU16(b, 2 + 2 * i, inputMasks[i]);
  std::copy(bytes34.begin(), bytes34.end(), b.begin() + 34);
  std::copy(groupMasks.begin(), groupMasks.end(), b.begin() + 40);
  std::copy(bytes44.begin(), bytes44.end(), b.begin() + 44);
  return b;
}

UnitInfoRecord UnitInfoRecord::Decode(std::span<const std::uint8_t> payload) {
  const auto b = Padded<kSize>(payload);
  UnitInfoRecord r;
  r.serialNumber = platform::GetU16(b, 0);
  for (std::size_t i = 0; i < r.inputMasks.size(); ++i) r.inputMasks[i] = platform::GetU16(b, 2 + 2 * i);
  std::copy_n(b.begin() + 34, r.bytes34.size(), r.bytes34.begin());
  std::copy_n(b.begin() + 40, r.groupMasks.size(), r.groupMasks.begin());
  std::copy_n(b.begin() + 44, r.bytes44.size(), r.bytes44.begin());
  return r;
}

std::array<std::uint8_t, DiscStatusRecord::kSize> DiscStatusRecord::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  platform::PutU16(b, 0, discFlags);
  b[2] = firstTrack;
  b[3] = lastTrack;
  b[4] = track;
  b[5] = index;
  b[6] = minutes;
  b[7] = seconds;
  b[8] = totalMinutes;
  b[9] = totalSeconds;
  platform::PutU16(b, 10, actualSeconds);
  return b;
}

DiscStatusRecord DiscStatusRecord::Decode(std::span<const std::uint8_t> payload) {
  const auto b = Padded<kSize>(payload);
  DiscStatusRecord r;
  r.discFlags = platform::GetU16(b, 0);
  r.firstTrack = b[2];
  r.lastTrack = b[3];
  r.track = b[4];
  r.index = b[5];
  r.minutes = b[6];
  r.seconds = b[7];
  r.totalMinutes = b[8];
  r.totalSeconds = b[9];
  r.actualSeconds = platform::GetU16(b, 10);
  return r;
}

std::vector<std::uint8_t> ListEntry::Encode() const {
  std::vector<std::uint8_t> b(kFixedSize + secondName.size() + 1);
  b[0] = slot;
  b[1] = input;
  b[2] = sequence;
  b[3] = type;
  std::copy_n(firstName.begin(), std::min(firstName.size(), kFirstNameSize - 1), b.begin() + 4);
  std::copy(secondName.begin(), secondName.end(), b.begin() + kFixedSize);
  return b;
}

ListEntry ListEntry::Decode(std::span<const std::uint8_t> payload) {
  const auto head = Padded<kFixedSize>(payload);
  ListEntry e;
  e.slot = head[0];
  e.input = head[1];
  e.sequence = head[2];
  e.type = head[3];
  e.firstName = Text(std::span(head).subspan(4, kFirstNameSize));
  if (payload.size() > kFixedSize) e.secondName = Text(payload.subspan(kFixedSize));
  return e;
}

std::array<std::uint8_t, ClockRecord::kSize> ClockRecord::Encode() const {
  return {year, month, day, dayOfWeek, hour, minute, second, 0, 0, 0, 0};
}

ClockRecord ClockRecord::Decode(std::span<const std::uint8_t> payload) {
  const auto b = Padded<kSize>(payload);
  return {b[0], b[1], b[2], b[3], b[4], b[5], b[6]};
}

ClockRecord ClockRecord::FromLocalTime(const platform::LocalTime& t) {
  return {static_cast<std::uint8_t>(t.year - 2000), static_cast<std::uint8_t>(t.month),
          static_cast<std::uint8_t>(t.day),         static_cast<std::uint8_t>(t.dayOfWeek + 1),
          static_cast<std::uint8_t>(t.hour),        static_cast<std::uint8_t>(t.minute),
          static_cast<std::uint8_t>(t.second)};
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

std::vector<std::uint8_t> ModuleBlock::Encode() const {
  const std::size_t n = std::min(settings.size(), kMaxSettings);
  std::vector<std::uint8_t> b(kHeaderSize + n);
  platform::PutU32(b, 0, header);
  std::copy_n(settings.begin(), n, b.begin() + kHeaderSize);
  return b;
}

ModuleBlock ModuleBlock::Decode(std::span<const std::uint8_t> payload) {
  const auto head = Padded<kHeaderSize>(payload);
  ModuleBlock block;
  block.header = platform::GetU32(head, 0);
  if (payload.size() > kHeaderSize) {
    const auto rest = payload.subspan(kHeaderSize);
    block.settings.assign(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(
                                                           std::min(rest.size(), kMaxSettings)));
  }
  return block;
}

}  // namespace remote::link
