#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Payloads of the live commands a setup page sends while a control moves. They
// carry no block header: the slot is in the payload itself.
namespace protocol::remote {

struct LiveValue {
  // 56: u8 slot, u8 combo selection.
  static constexpr std::size_t kSize56 = 2;
  // 66: u16 slot, four u16 values.
  static constexpr std::size_t kSize66 = 10;
  // 67: u8 slot, two u8 values.
  static constexpr std::size_t kSize67 = 3;
  // 69: u16 bits 0-3 slot, bit 4 selector; u16 four 4-bit values, the first lowest.
  static constexpr std::size_t kSize69 = 4;
  static constexpr std::uint16_t kSelectorBit69 = 1u << 4;
  // 70: u16 bits 0-3 slot, bits 4-7 control index, bits 8-15 sub-value; u16 value.
  static constexpr std::size_t kSize70 = 4;
  static constexpr unsigned kControlShift70 = 4;
  static constexpr unsigned kSubValueShift70 = 8;
  // 63: one 48-byte KLF310 band record.
  static constexpr std::size_t kSize63 = 48;
  static constexpr std::size_t kSlotMask = 0xF;

  static std::array<std::uint8_t, kSize56> Encode56(int slot, int selection);
  static std::array<std::uint8_t, kSize66> Encode66(int slot, std::array<std::uint16_t, 4> values);
  static std::array<std::uint8_t, kSize67> Encode67(int slot, int first, int second);
  static std::array<std::uint8_t, kSize69> Encode69(int slot, bool selector,
                                                    std::array<std::uint8_t, 4> values);
  static std::array<std::uint8_t, kSize70> Encode70(int slot, int control, int subValue,
                                                    std::uint16_t value);
};

}  // namespace protocol::remote
