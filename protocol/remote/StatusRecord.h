#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::remote {

// Record 31: the unit's state. The defaults are what a remote shows of a unit
// it is not connected to.
struct StatusRecord {
  static constexpr std::size_t kSize = 44;
  static constexpr std::size_t kOffVolumeMin = 0;
  static constexpr std::size_t kOffVolumeMax = 2;
  static constexpr std::size_t kOffVolume = 4;
  static constexpr std::size_t kOffVolumeStep = 6;
  static constexpr std::size_t kOffFlags = 8;
  static constexpr std::size_t kOffSourceSlot = 10;
  static constexpr std::size_t kOffSourceInput = 11;
  static constexpr std::size_t kOffButtonSources = 12;  // (slot, input) x 6
  static constexpr std::size_t kOffBytes24 = 24;
  static constexpr std::size_t kOffOutputFlags = 28;
  static constexpr std::size_t kOffBytes30 = 30;
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
  bool SourceIsCd() const {
    return ((flags & kSourceKindMask) >> kSourceKindShift) == kSourceKindCd;
  }
  bool RoomCorrectionOn() const { return (outputFlags & kRoomModeMask) == kRoomModeOn; }
  int RoomPreset() const { return (outputFlags & kRoomPresetMask) >> kRoomPresetShift; }
};

}  // namespace protocol::remote
