#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::unit {

// Bytes 0-7 of every settings image: delivery date and serial number, which
// the unit keeps across a reset to defaults (command 137 data).
struct IdentityRecord {
  static constexpr std::size_t kSize = 8;
  static constexpr std::size_t kLeading = 0;       // 0 in records the desktop creates
  static constexpr std::size_t kDeliveryYear = 1;  // year - 2000
  static constexpr std::size_t kDeliveryMonth = 2;
  static constexpr std::size_t kDeliveryDay = 3;
  static constexpr std::size_t kSerial = 4;    // u16, 0-9999
  static constexpr std::size_t kTrailing = 6;  // u16, 0 in records the desktop creates
  static constexpr std::uint16_t kSerialModulus = 10000;
  // Serial of a record made when serial and delivery are reset too.
  static constexpr std::uint16_t kNewSerial = 100;

  std::uint8_t leading = 0;
  std::uint8_t deliveryYear = 0;
  std::uint8_t deliveryMonth = 0;
  std::uint8_t deliveryDay = 0;
  std::uint16_t serial = 0;
  std::uint16_t trailing = 0;

  // `in` is a settings image or a record: its first 8 bytes are read.
  static IdentityRecord Decode(std::span<const std::uint8_t> in);
  std::array<std::uint8_t, kSize> Encode() const;
  // Date and serial only: bytes 0, 6 and 7 of the image stay as they are.
  void EncodeDateAndSerialInto(std::span<std::uint8_t> image) const;
  // The record sent when serial and delivery are reset: the given day, serial 100.
  static IdentityRecord New(int year, int month, int day);
};

}  // namespace protocol::unit
