#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "desktop/unitlink/CTiroUSB.h"
#include "platform/Clock.h"

namespace desktop::unitlink {

inline constexpr std::size_t kDescriptorSize = 52;
inline constexpr std::size_t kStatusSize = 10;
inline constexpr std::size_t kIdentitySize = 8;
inline constexpr std::size_t kClockSize = 6;
// The desktop holds at most this many settings bytes per module; a module that
// announces more is read and written only this far.
inline constexpr std::size_t kMaxSettings = 2048;

using Descriptor = std::array<std::uint8_t, kDescriptorSize>;

// Offsets within the 52-byte module descriptor.
namespace desc {
inline constexpr std::size_t kStatus = 0;
inline constexpr std::size_t kType = 2;
inline constexpr std::size_t kSettingsLength = 4;
inline constexpr std::size_t kSlotCount = 6;
inline constexpr std::size_t kHasClock = 7;
inline constexpr std::size_t kVersionMajor = 8;
inline constexpr std::size_t kVersionMinor = 10;
inline constexpr std::size_t kVersionDay = 12;
inline constexpr std::size_t kVersionMonth = 13;
inline constexpr std::size_t kVersionYear = 14;
inline constexpr std::size_t kFlags = 19;
inline constexpr std::size_t kModuleSpecific = 20;
}  // namespace desc

// The fields of a descriptor the desktop interprets.
struct DescriptorFields {
  std::uint8_t status = 0;
  std::uint8_t type = 0;
  std::uint16_t settingsLength = 0;
  std::uint8_t slotCount = 0;
  std::uint8_t hasClock = 0;
  std::uint16_t versionMajor = 0;
  std::uint16_t versionMinor = 0;
  std::uint8_t versionDay = 0;
  std::uint8_t versionMonth = 0;
  std::uint8_t versionYear = 0;  // year - 2000; 0 = no date
  std::uint8_t flags = 0;        // bit 0: the module's software runs

  static DescriptorFields Decode(std::span<const std::uint8_t, kDescriptorSize> d);
  void EncodeInto(std::span<std::uint8_t, kDescriptorSize> d) const;
  bool SoftwareRunning() const { return (flags & 1) != 0; }
};

// One answering module: where it said it sits and what it is.
struct ModuleInfo {
  std::uint8_t address = 0;
  std::uint8_t subAddress = 0;
  Descriptor descriptor{};

  DescriptorFields Fields() const { return DescriptorFields::Decode(descriptor); }
};

// Command 2 to `address`; fills `out` from the reply.
bool ReadModuleDescriptor(CTiroUSB& usb, std::uint8_t address, ModuleInfo& out);

struct Discovery {
  bool unitPresent = false;
  ModuleInfo mainUnit;
  // Every answering card in address order, known type or not.
  std::vector<ModuleInfo> cards;
};

// The main unit, then card addresses 1..slotCount up to the first that fails.
Discovery DiscoverModules(CTiroUSB& usb);

// Settings length bounded to the desktop's buffer.
std::size_t SettingsLength(const ModuleInfo& module);

// Reads `length` bytes (bounded to kMaxSettings) in 58-byte chunks into
// `image`, which is cleared first. Stops at the first failed chunk; returns
// whether every chunk arrived.
bool ReadSettingsImage(CTiroUSB& usb, std::uint8_t address, std::size_t length, bool reload,
                       std::span<std::uint8_t> image);
// Writes the chunks and then the store frame. The unit answers nothing, so the
// result only says whether every exchange took place.
bool WriteSettingsImage(CTiroUSB& usb, std::uint8_t address, std::size_t length,
                        std::span<const std::uint8_t> image);
// Command 137: defaults, keeping the given identity record.
bool ResetSettings(CTiroUSB& usb, std::uint8_t address,
                   std::span<const std::uint8_t, kIdentitySize> identity);

// Identity record: bytes 0-7 of every settings image.
struct Identity {
  std::uint8_t deliveryYear = 0;  // year - 2000
  std::uint8_t deliveryMonth = 0;
  std::uint8_t deliveryDay = 0;
  std::uint16_t serial = 0;

  static Identity Decode(std::span<const std::uint8_t> image);
  // Writes date and serial, leaving bytes 0, 6 and 7 as they are.
  void EncodeInto(std::span<std::uint8_t> image) const;
};
// The record sent when serial and delivery are reset as well: today, serial 100.
std::array<std::uint8_t, kIdentitySize> NewIdentityRecord(const platform::LocalTime& today);

bool ReadStatus(CTiroUSB& usb, std::uint8_t address, std::array<std::uint8_t, kStatusSize>& out);
inline bool StatusHasEepromError(std::span<const std::uint8_t, kStatusSize> status) {
  return (status[2] & 1) != 0;
}

// Clock record: day, month, year - 2000, hour, minute, second.
std::array<std::uint8_t, kClockSize> EncodeClock(const platform::LocalTime& t);
platform::LocalTime DecodeClock(std::span<const std::uint8_t, kClockSize> record);
// False when the exchange fails or the unit reports no clock reading.
bool ReadClock(CTiroUSB& usb, std::uint8_t address, platform::LocalTime& out);
bool SetClock(CTiroUSB& usb, std::uint8_t address, const platform::LocalTime& t);

}  // namespace desktop::unitlink
