#include "protocol/remote/LiveValue.h"

#include "platform/Bytes.h"

namespace protocol::remote {

namespace {
std::uint8_t U8(int v) {
  return static_cast<std::uint8_t>(v & 0xFF);
}
}  // namespace

std::array<std::uint8_t, LiveValue::kSize56> LiveValue::Encode56(int slot, int selection) {
  return {U8(slot), U8(selection)};
}

std::array<std::uint8_t, LiveValue::kSize66> LiveValue::Encode66(
    int slot, std::array<std::uint16_t, 4> values) {
  std::array<std::uint8_t, kSize66> b{};
  platform::PutU16(b, 0, static_cast<std::uint16_t>(slot & kSlotMask));
  for (std::size_t i = 0; i < values.size(); ++i) platform::PutU16(b, 2 + 2 * i, values[i]);
  return b;
}

std::array<std::uint8_t, LiveValue::kSize67> LiveValue::Encode67(int slot, int first, int second) {
  return {U8(slot), U8(first), U8(second)};
}

std::array<std::uint8_t, LiveValue::kSize69> LiveValue::Encode69(
    int slot, bool selector, std::array<std::uint8_t, 4> values) {
  std::array<std::uint8_t, kSize69> b{};
  platform::PutU16(
      b, 0, static_cast<std::uint16_t>((slot & kSlotMask) | (selector ? kSelectorBit69 : 0)));
  std::uint16_t packed = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    packed = static_cast<std::uint16_t>(packed | ((values[i] & 0xFu) << (4 * i)));
  }
  platform::PutU16(b, 2, packed);
  return b;
}

std::array<std::uint8_t, LiveValue::kSize70> LiveValue::Encode70(int slot, int control,
                                                                 int subValue,
                                                                 std::uint16_t value) {
  std::array<std::uint8_t, kSize70> b{};
  platform::PutU16(
      b, 0,
      static_cast<std::uint16_t>((slot & kSlotMask) | ((control & 0xF) << kControlShift70) |
                                 ((subValue & 0xFF) << kSubValueShift70)));
  platform::PutU16(b, 2, value);
  return b;
}

}  // namespace protocol::remote
