#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "desktop/unitlink/CTiroUSB.h"
#include "platform/Clock.h"
#include "protocol/unit/ClockRecord.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/ModuleDescriptor.h"
#include "protocol/unit/StatusRecord.h"

namespace desktop::unitlink {

// One answering module: where it said it sits and what it is.
struct ModuleInfo {
  std::uint8_t address = 0;
  std::uint8_t subAddress = 0;
  protocol::unit::DescriptorBytes descriptor{};

  protocol::unit::ModuleDescriptor Fields() const {
    return protocol::unit::ModuleDescriptor::Decode(descriptor);
  }
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

// Reads `length` bytes (bounded to the desktop's 2048) in 58-byte chunks into
// `image`, which is cleared first. Stops at the first failed chunk; returns
// whether every chunk arrived.
bool ReadSettingsImage(CTiroUSB& usb, std::uint8_t address, std::size_t length, bool reload,
                       std::span<std::uint8_t> image);
// Writes the chunks and then the store frame. The unit answers nothing, so the
// result only says whether every exchange took place. A chunk that did not go
// out leaves the stored copy as it was: the store frame is not sent then.
bool WriteSettingsImage(CTiroUSB& usb, std::uint8_t address, std::size_t length,
                        std::span<const std::uint8_t> image);
// The single steps of the two above, for callers that ask a failed chunk
// again: chunk `index` of an image of `length` bytes (of ChunkCount(length)),
// read into or written from its place in `image`.
bool ReadSettingsChunk(CTiroUSB& usb, std::uint8_t address, std::size_t length, std::size_t index,
                       bool reload, std::span<std::uint8_t> image);
bool WriteSettingsChunk(CTiroUSB& usb, std::uint8_t address, std::size_t length, std::size_t index,
                        std::span<const std::uint8_t> image);
// The frame that makes the unit keep its working copy.
bool StoreSettings(CTiroUSB& usb, std::uint8_t address);
// Command 137: defaults, keeping the given identity record.
bool ResetSettings(CTiroUSB& usb, std::uint8_t address,
                   std::span<const std::uint8_t, protocol::unit::IdentityRecord::kSize> identity);

// The record sent when serial and delivery are reset as well: today, serial 100.
std::array<std::uint8_t, protocol::unit::IdentityRecord::kSize> NewIdentityRecord(
    const platform::LocalTime& today);

bool ReadStatus(CTiroUSB& usb, std::uint8_t address,
                std::array<std::uint8_t, protocol::unit::StatusRecord::kSize>& out);

// The computer's local time as the unit's clock record, and back.
protocol::unit::ClockRecord ToClockRecord(const platform::LocalTime& t);
platform::LocalTime FromClockRecord(const protocol::unit::ClockRecord& r);
// False when the exchange fails or the unit reports no clock reading.
bool ReadClock(CTiroUSB& usb, std::uint8_t address, platform::LocalTime& out);
bool SetClock(CTiroUSB& usb, std::uint8_t address, const platform::LocalTime& t);

}  // namespace desktop::unitlink
