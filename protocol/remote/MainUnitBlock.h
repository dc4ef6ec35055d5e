#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/remote/ModuleBlock.h"

namespace protocol::remote {

// Record 60 of the main unit (address 0, sub-address 1) has a layout of its
// own: the options the remote edits and what it shows of the unit. Offsets are
// payload offsets, after the block header.
struct MainUnitBlock {
  static constexpr int kSubAddress = 1;
  static constexpr std::size_t kOffOptions = 4;  // u16
  static constexpr std::uint16_t kVolumeStepMask = 0x00FF;
  static constexpr std::uint16_t kLanguageBit = 1u << 8;
  static constexpr std::uint16_t kClockDisplayBit = 1u << 9;
  static constexpr std::size_t kOffFirmware = 6;  // u16: bits 0-5 major, bits 6-15 minor
  static constexpr std::uint16_t kMajorMask = 0x3F;
  static constexpr unsigned kMinorShift = 6;
  static constexpr std::size_t kOffFirmwareDay = 8;
  static constexpr std::size_t kOffFirmwareMonth = 9;
  static constexpr std::size_t kOffFirmwareYear = 10;  // u16, full year
  static constexpr std::size_t kOffSerial = 12;        // u16
  static constexpr std::size_t kOffDeliveryDate = 14;  // u16 date word
  static constexpr std::size_t kSize = 16;
  static constexpr std::size_t kSettingsSize = kSize - ModuleBlock::kHeaderSize;

  // Date word: bits 0-4 day, bits 5-8 month, bits 9-15 year - 2000.
  struct Date {
    int day = 0;
    int month = 0;
    int year = 2000;
  };
  static Date DecodeDate(std::uint16_t word);
  static std::uint16_t EncodeDate(const Date& date);

  std::uint32_t header = ModuleBlock::Header(0, kSubAddress);
  std::uint8_t volumeStep = 0;  // tenths of a dB
  bool language = false;        // 0 English, 1 Deutsch
  bool clockDisplay = false;
  std::uint8_t firmwareMajor = 0;
  std::uint16_t firmwareMinor = 0;
  std::uint8_t firmwareDay = 0;
  std::uint8_t firmwareMonth = 0;
  std::uint16_t firmwareYear = 0;
  std::uint16_t serial = 0;
  std::uint16_t deliveryDate = 0;

  std::uint16_t Options() const;
  std::array<std::uint8_t, kSize> Encode() const;
  // Missing bytes read as 0.
  static MainUnitBlock Decode(std::span<const std::uint8_t> payload);
};

// Record 60 of the front display: its eight levels as (value, minimum,
// maximum) triples in the order the unit reports them over USB, and the
// alternate-screen timer that its "Display alt." combo sets.
struct DisplayBlock {
  static constexpr std::size_t kLevelCount = 8;
  static constexpr std::size_t kTripleSize = 3;
  static constexpr std::size_t kOffLevels = 4;
  static constexpr std::size_t kOffAltScreen = kOffLevels + kLevelCount * kTripleSize;  // u16 s
  static constexpr std::size_t kSize = kOffAltScreen + 2;
  static constexpr std::size_t kSettingsSize = kSize - ModuleBlock::kHeaderSize;
  // Command 70 control index that carries the alternate-screen timer (seconds).
  static constexpr int kAltScreenControl = 8;

  static constexpr std::size_t LevelOffset(std::size_t n) { return kOffLevels + kTripleSize * n; }
};

}  // namespace protocol::remote
