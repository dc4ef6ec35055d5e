#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::unit {

// A software date packed in 16 bits: bits 0-4 day, 5-8 month, 9-15 year - 2000.
struct PackedDate {
  int day = 0;
  int month = 0;
  int year = 2000;  // full year

  static PackedDate Unpack(std::uint16_t word);
  std::uint16_t Pack() const;
};

// A processor board's identity: data of command 153 and the last 28 bytes of
// the processor record.
struct BoardIdentity {
  static constexpr std::size_t kSize = 28;
  static constexpr std::size_t kWritten = 0;       // 1 when written by the page
  static constexpr std::size_t kDeliveryYear = 1;  // year - 2000
  static constexpr std::size_t kDeliveryMonth = 2;
  static constexpr std::size_t kDeliveryDay = 3;
  static constexpr std::size_t kSerial = 4;  // u32: low 16 bits serial % 10000, high serial / 10000
  static constexpr std::size_t kReserved = 8;  // 20 zero bytes
  static constexpr std::uint32_t kSerialModulus = 10000;

  std::uint8_t written = 0;
  std::uint8_t deliveryYear = 0;
  std::uint8_t deliveryMonth = 0;
  std::uint8_t deliveryDay = 0;
  std::uint32_t serial = 0;  // the whole number, split on the wire

  static BoardIdentity Decode(std::span<const std::uint8_t> in);
  std::array<std::uint8_t, kSize> Encode() const;
};

// Reply data bytes 0-39 of command 36: the software a QVO520 signal processor
// runs, and its board's identity.
struct ProcessorRecord {
  static constexpr std::size_t kSize = 40;
  static constexpr std::size_t kModel = 0;  // bit 0 software flag, bits 1-7 model code
  static constexpr std::size_t kComponent = 1;
  static constexpr std::size_t kDate = 2;     // u16, packed date
  static constexpr std::size_t kVersion = 4;  // u16: bit 0 update, 1-5 major, 6-15 minor
  static constexpr std::size_t kUnused = 6;
  static constexpr std::size_t kSecondComponent = 7;  // 0 = none
  static constexpr std::size_t kSecondDate = 8;       // u16, packed date
  static constexpr std::size_t kSecondVersion = 10;   // u16: bits 0-5 major, 6-15 minor
  static constexpr std::size_t kBoardIdentity = 12;

  bool softwareFlag = false;
  std::uint8_t model = 0;  // 0-127
  std::uint8_t component = 0;
  PackedDate date;
  bool update = false;      // the image is labelled "update", else "orig"
  std::uint8_t major = 0;   // 0-31
  std::uint16_t minor = 0;  // 0-1023
  std::uint8_t unused = 0;
  std::uint8_t secondComponent = 0;
  PackedDate secondDate;
  std::uint8_t secondMajor = 0;   // 0-63
  std::uint16_t secondMinor = 0;  // 0-1023
  BoardIdentity board;

  static ProcessorRecord Decode(std::span<const std::uint8_t> in);
  std::array<std::uint8_t, kSize> Encode() const;
};

}  // namespace protocol::unit
