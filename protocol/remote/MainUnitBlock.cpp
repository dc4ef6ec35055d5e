#include "protocol/remote/MainUnitBlock.h"

#include "protocol/remote/RecordBytes.h"

namespace protocol::remote {

MainUnitBlock::Date MainUnitBlock::DecodeDate(std::uint16_t word) {
  return {word & 0x1F, (word >> 5) & 0xF, 2000 + (word >> 9)};
}

std::uint16_t MainUnitBlock::EncodeDate(const Date& date) {
  return static_cast<std::uint16_t>((date.day & 0x1F) | ((date.month & 0xF) << 5) |
                                    (((date.year - 2000) & 0x7F) << 9));
}

std::uint16_t MainUnitBlock::Options() const {
  return static_cast<std::uint16_t>(volumeStep | (language ? kLanguageBit : 0) |
                                    (clockDisplay ? kClockDisplayBit : 0));
}

std::array<std::uint8_t, MainUnitBlock::kSize> MainUnitBlock::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  platform::PutU32(b, ModuleBlock::kOffHeader, header);
  platform::PutU16(b, kOffOptions, Options());
  platform::PutU16(
      b, kOffFirmware,
      static_cast<std::uint16_t>((firmwareMajor & kMajorMask) | (firmwareMinor << kMinorShift)));
  b[kOffFirmwareDay] = firmwareDay;
  b[kOffFirmwareMonth] = firmwareMonth;
  platform::PutU16(b, kOffFirmwareYear, firmwareYear);
  platform::PutU16(b, kOffSerial, serial);
  platform::PutU16(b, kOffDeliveryDate, deliveryDate);
  return b;
}

MainUnitBlock MainUnitBlock::Decode(std::span<const std::uint8_t> payload) {
  const auto b = detail::Padded<kSize>(payload);
  MainUnitBlock r;
  r.header = platform::GetU32(b, ModuleBlock::kOffHeader);
  const std::uint16_t options = platform::GetU16(b, kOffOptions);
  r.volumeStep = static_cast<std::uint8_t>(options & kVolumeStepMask);
  r.language = (options & kLanguageBit) != 0;
  r.clockDisplay = (options & kClockDisplayBit) != 0;
  const std::uint16_t firmware = platform::GetU16(b, kOffFirmware);
  r.firmwareMajor = static_cast<std::uint8_t>(firmware & kMajorMask);
  r.firmwareMinor = static_cast<std::uint16_t>(firmware >> kMinorShift);
  r.firmwareDay = b[kOffFirmwareDay];
  r.firmwareMonth = b[kOffFirmwareMonth];
  r.firmwareYear = platform::GetU16(b, kOffFirmwareYear);
  r.serial = platform::GetU16(b, kOffSerial);
  r.deliveryDate = platform::GetU16(b, kOffDeliveryDate);
  return r;
}

}  // namespace protocol::remote
