#include "protocol/unit/LiveRecords.h"

#include "platform/Bytes.h"

namespace protocol::unit {

std::array<std::uint8_t, LiveWords::kFourSize> LiveWords::EncodeFour(std::uint16_t a,
                                                                     std::uint16_t b,
                                                                     std::uint16_t c,
                                                                     std::uint16_t d) {
  std::array<std::uint8_t, kFourSize> out{};
  platform::PutU16(out, 0, a);
  platform::PutU16(out, 2, b);
  platform::PutU16(out, 4, c);
  platform::PutU16(out, 6, d);
  return out;
}

std::array<std::uint8_t, LiveWords::kOneSize> LiveWords::EncodeOne(std::uint16_t value) {
  std::array<std::uint8_t, kOneSize> out{};
  platform::PutU16(out, 0, value);
  return out;
}

std::uint16_t LiveWords::Word(std::span<const std::uint8_t> data, std::size_t i) {
  return platform::GetU16(data, 2 * i);
}

EqualizerCurveRecord EqualizerCurveRecord::Decode(std::span<const std::uint8_t> in) {
  EqualizerCurveRecord r;
  const std::uint16_t word = platform::GetU16(in, kWord);
  r.curve = static_cast<std::uint8_t>((word >> kCurveShift) & kCurveMask);
  r.selected = (word & kSelected) != 0;
  for (std::size_t i = 0; i < kTimeCount; ++i) r.times[i] = platform::GetU16(in, kTimes + 2 * i);
  return r;
}

std::array<std::uint8_t, EqualizerCurveRecord::kSize> EqualizerCurveRecord::Encode() const {
  std::array<std::uint8_t, kSize> out{};
  platform::PutU16(out, kWord,
                   static_cast<std::uint16_t>(((curve & kCurveMask) << kCurveShift) |
                                              (selected ? kSelected : 0)));
  for (std::size_t i = 0; i < kTimeCount; ++i) platform::PutU16(out, kTimes + 2 * i, times[i]);
  return out;
}

BtModuleInitRecord BtModuleInitRecord::Decode(std::span<const std::uint8_t> in) {
  BtModuleInitRecord r;
  r.start = (platform::GetU16(in, kStart) & kStartBit) != 0;
  r.value = platform::GetU32(in, kValue);
  return r;
}

std::array<std::uint8_t, BtModuleInitRecord::kSize> BtModuleInitRecord::Encode() const {
  std::array<std::uint8_t, kSize> out{};
  platform::PutU16(out, kStart, start ? kStartBit : 0);
  platform::PutU32(out, kValue, value);
  return out;
}

}  // namespace protocol::unit
