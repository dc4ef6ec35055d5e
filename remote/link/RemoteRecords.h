#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/Clock.h"

// The records of the stream, each one struct with named fields and its codec.
// Decoding reads the payload as if zero-padded to the record's size, so a short
// record never reads past what arrived.
namespace remote::link {

// Record 31: the unit's state.
struct StatusRecord {
  static constexpr std::size_t kSize = 44;
  // flags
  static constexpr std::uint16_t kPowerOn = 1u << 0;
  static constexpr std::uint16_t kMuted = 1u << 1;
  static constexpr int kTruncationShift = 2;
  static constexpr std::uint16_t kTruncationMask = 0x1F << kTruncationShift;
  static constexpr std::uint16_t kPolarityInverted = 1u << 7;
  static constexpr std::uint16_t kFadedOut = 1u << 8;
  static constexpr int kSourceKindShift = 9;
  static constexpr std::uint16_t kSourceKindMask = 0xF << kSourceKindShift;
  static constexpr std::uint16_t kSourceKindCd = 1;
  static constexpr int kGroupShift = 13;
  static constexpr std::uint16_t kGroupMask = 0x3 << kGroupShift;
  // outputFlags
  static constexpr std::uint16_t kFixed35Volt = 1u << 0;
  static constexpr std::uint16_t kFixedCurrent = 1u << 1;
  static constexpr std::uint16_t kRoomModeMask = 0xC;
  static constexpr std::uint16_t kRoomModeOn = 0x8;
  static constexpr int kRoomPresetShift = 10;
  static constexpr std::uint16_t kRoomPresetMask = 0x7 << kRoomPresetShift;

  std::int16_t volumeMin = -800;
  std::int16_t volumeMax = 100;
  std::int16_t volume = -800;
  std::uint16_t volumeStep = 10;
  std::uint16_t flags = 0;
  std::uint8_t sourceSlot = 0;
  std::uint8_t sourceInput = 0;
  std::array<std::array<std::uint8_t, 2>, 6> buttonSources{};
  std::array<std::uint8_t, 4> bytes24{};
  std::uint16_t outputFlags = 0;
  std::array<std::uint8_t, 14> bytes30{};

  std::array<std::uint8_t, kSize> Encode() const;
  static StatusRecord Decode(std::span<const std::uint8_t> payload);

  bool PowerOn() const { return (flags & kPowerOn) != 0; }
  bool Muted() const { return (flags & kMuted) != 0; }
  bool FadedOut() const { return (flags & kFadedOut) != 0; }
  bool PolarityInverted() const { return (flags & kPolarityInverted) != 0; }
  int OutputBits() const { return 24 - ((flags & kTruncationMask) >> kTruncationShift); }
  int Group() const { return (flags & kGroupMask) >> kGroupShift; }
  bool SourceIsCd() const { return ((flags & kSourceKindMask) >> kSourceKindShift) == kSourceKindCd; }
  bool RoomCorrectionOn() const { return (outputFlags & kRoomModeMask) == kRoomModeOn; }
  int RoomPreset() const { return (outputFlags & kRoomPresetMask) >> kRoomPresetShift; }
};

// Record 32: what the unit is made of.
struct UnitInfoRecord {
  static constexpr std::size_t kSize = 56;
  std::uint16_t serialNumber = 0;
  std::array<std::uint16_t, 16> inputMasks{};
  std::array<std::uint8_t, 6> bytes34{};
  std::array<std::uint8_t, 4> groupMasks{};
  std::array<std::uint8_t, 12> bytes44{};

  std::array<std::uint8_t, kSize> Encode() const;
  static UnitInfoRecord Decode(std::span<const std::uint8_t> payload);
};

// Record 55: the CD drive.
struct DiscStatusRecord {
  static constexpr std::size_t kSize = 12;
  static constexpr std::uint16_t kDiscPresent = 1u << 3;
  std::uint16_t discFlags = 0;
  std::uint8_t firstTrack = 0;
  std::uint8_t lastTrack = 0;
  std::uint8_t track = 0;
  std::uint8_t index = 0;
  std::uint8_t minutes = 0;
  std::uint8_t seconds = 0;
  std::uint8_t totalMinutes = 0;
  std::uint8_t totalSeconds = 0;
  std::uint16_t actualSeconds = 0;

  std::array<std::uint8_t, kSize> Encode() const;
  static DiscStatusRecord Decode(std::span<const std::uint8_t> payload);
  bool DiscPresent() const { return (discFlags & kDiscPresent) != 0; }
};

// Record 34: one entry of the module and source listing, or a control frame.
struct ListEntry {
  static constexpr std::size_t kFixedSize = 20;
  static constexpr std::size_t kFirstNameSize = 16;
  static constexpr std::uint8_t kControlBit = 0x80;
  static constexpr std::uint8_t kModuleBit = 0x80;
  static constexpr std::uint8_t kModuleInput = 0xFF;
  static constexpr std::uint8_t kForgetAll = 0xFF;

  std::uint8_t slot = 0;
  std::uint8_t input = 0;
  std::uint8_t sequence = 0;
  std::uint8_t type = 0;
  std::string firstName;   // 8-bit text
  std::string secondName;  // 8-bit text
  std::uint32_t tag = 0;   // kept by the remote only, never on the wire

  bool IsControl() const { return (slot & kControlBit) != 0; }
  bool IsModule() const { return (input & kModuleBit) != 0; }
  std::vector<std::uint8_t> Encode() const;
  static ListEntry Decode(std::span<const std::uint8_t> payload);
};

// Record 30 and command 30: the clock, in the stream's own order.
struct ClockRecord {
  static constexpr std::size_t kSize = 11;
  std::uint8_t year = 0;  // year - 2000
  std::uint8_t month = 1;
  std::uint8_t day = 1;
  std::uint8_t dayOfWeek = 1;  // 1 = Sunday
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;

  std::array<std::uint8_t, kSize> Encode() const;
  static ClockRecord Decode(std::span<const std::uint8_t> payload);
  static ClockRecord FromLocalTime(const platform::LocalTime& t);
  // Day of week is not taken from the record.
  platform::LocalTime ToLocalTime() const;
};

// Record 60 and command 60: a module's settings without its identity record.
struct ModuleBlock {
  static constexpr std::size_t kHeaderSize = 4;
  static constexpr std::size_t kMaxSettings = 768;
  static constexpr std::size_t kSize = kHeaderSize + kMaxSettings;
  static constexpr std::uint32_t kLiveBit = 1u << 5;
  static constexpr std::uint32_t kModuleBits = 0x1F;  // sub-address and address

  std::uint32_t header = 0;
  std::vector<std::uint8_t> settings;

  static std::uint32_t Header(int address, int subAddress, bool live = false) {
    return static_cast<std::uint32_t>((subAddress & 1) | ((address & 0xF) << 1)) |
           (live ? kLiveBit : 0);
  }
  int Address() const { return static_cast<int>((header >> 1) & 0xF); }
  int SubAddress() const { return static_cast<int>(header & 1); }
  bool Live() const { return (header & kLiveBit) != 0; }

  std::vector<std::uint8_t> Encode() const;
  // Settings are what follows the header, at most 768 bytes.
  static ModuleBlock Decode(std::span<const std::uint8_t> payload);
};

}  // namespace remote::link
