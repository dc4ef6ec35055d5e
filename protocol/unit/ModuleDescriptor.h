#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol::unit {

// The 52-byte module descriptor: reply data of command 2 (and, with the boot
// software's version, of command 26). Bytes 1, 3 and 15-18 are the unit's own
// and travel unread.
struct ModuleDescriptor {
  static constexpr std::size_t kSize = 52;
  static constexpr std::size_t kStatus = 0;
  static constexpr std::size_t kType = 2;
  static constexpr std::size_t kSettingsLength = 4;  // u16
  static constexpr std::size_t kSlotCount = 6;
  static constexpr std::size_t kHasClock = 7;
  static constexpr std::size_t kVersionMajor = 8;   // u16
  static constexpr std::size_t kVersionMinor = 10;  // u16, shown with three digits
  static constexpr std::size_t kVersionDay = 12;
  static constexpr std::size_t kVersionMonth = 13;
  static constexpr std::size_t kVersionYear = 14;  // year - 2000; 0 = no date
  static constexpr std::size_t kFlags = 19;
  static constexpr std::size_t kModuleSpecific = 20;
  static constexpr std::size_t kModuleSpecificSize = 32;
  static constexpr std::uint8_t kFlagRunning = 0x01;  // the module's software runs
  // The main unit page shows its version line only for this status.
  static constexpr std::uint8_t kStatusVersionShown = 1;

  std::uint8_t status = 0;
  std::uint8_t type = 0;
  std::uint16_t settingsLength = 0;
  std::uint8_t slotCount = 0;
  std::uint8_t hasClock = 0;
  std::uint16_t versionMajor = 0;
  std::uint16_t versionMinor = 0;
  std::uint8_t versionDay = 0;
  std::uint8_t versionMonth = 0;
  std::uint8_t versionYear = 0;
  std::uint8_t flags = 0;
  std::array<std::uint8_t, kModuleSpecificSize> moduleSpecific{};

  static ModuleDescriptor Decode(std::span<const std::uint8_t, kSize> in);
  // Writes every named field; the unread bytes keep what `out` holds.
  void EncodeInto(std::span<std::uint8_t, kSize> out) const;
  bool SoftwareRunning() const { return (flags & kFlagRunning) != 0; }
};

using DescriptorBytes = std::array<std::uint8_t, ModuleDescriptor::kSize>;

}  // namespace protocol::unit
