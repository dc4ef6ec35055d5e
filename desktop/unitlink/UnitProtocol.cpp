#include "desktop/unitlink/UnitProtocol.h"

#include <algorithm>
#include <cstring>

#include "protocol/unit/Frame.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/UnitCommand.h"

namespace desktop::unitlink {

namespace pu = protocol::unit;
using pu::Code;
using pu::UnitCommand;

namespace {
constexpr std::size_t kChunk = pu::SettingsImage::kChunkSize;
}  // namespace

bool ReadModuleDescriptor(CTiroUSB& usb, std::uint8_t address, ModuleInfo& out) {
  std::uint8_t reply[pu::kFrameSize] = {};
  if (!usb.SendCommand(reply, Code(UnitCommand::kReadDescriptor), address, 0, 0, 0, 0, nullptr)) {
    return false;
  }
  const auto header = pu::ReplyHeader::Decode(reply);
  out.address = header.address;
  out.subAddress = header.subAddress;
  std::memcpy(out.descriptor.data(), reply + pu::ReplyHeader::kData, pu::ModuleDescriptor::kSize);
  return true;
}

Discovery DiscoverModules(CTiroUSB& usb) {
  Discovery result;
  if (!ReadModuleDescriptor(usb, pu::kMainUnitAddress, result.mainUnit)) return result;
  result.unitPresent = true;
  const std::uint8_t slots = result.mainUnit.Fields().slotCount;
  for (unsigned i = 1; i <= slots; ++i) {
    ModuleInfo card;
    if (!ReadModuleDescriptor(usb, static_cast<std::uint8_t>(i), card)) break;
    result.cards.push_back(card);
  }
  return result;
}

std::size_t SettingsLength(const ModuleInfo& module) {
  return std::min<std::size_t>(module.Fields().settingsLength, pu::SettingsImage::kMaxSize);
}

bool ReadSettingsChunk(CTiroUSB& usb, std::uint8_t address, std::size_t length, std::size_t index,
                       bool reload, std::span<std::uint8_t> image) {
  length = std::min({length, pu::SettingsImage::kMaxSize, image.size()});
  if (index >= pu::SettingsImage::ChunkCount(length)) return false;
  const std::size_t offset = kChunk * index;
  const std::size_t chunk = std::min(kChunk, length - offset);
  std::uint8_t reply[pu::kFrameSize] = {};
  const std::uint8_t reloadFlag = (index == 0 && reload) ? pu::SettingsImage::kReloadFlag : 0;
  if (!usb.SendCommand(reply, Code(UnitCommand::kReadSettings), address, reloadFlag,
                       static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(chunk), 0,
                       nullptr)) {
    return false;
  }
  std::memcpy(image.data() + offset, reply + pu::ReplyHeader::kData, chunk);
  return true;
}

bool ReadSettingsImage(CTiroUSB& usb, std::uint8_t address, std::size_t length, bool reload,
                       std::span<std::uint8_t> image) {
  std::fill(image.begin(), image.end(), 0);
  length = std::min({length, pu::SettingsImage::kMaxSize, image.size()});
  for (std::size_t i = 0; i < pu::SettingsImage::ChunkCount(length); ++i) {
    if (!ReadSettingsChunk(usb, address, length, i, reload, image)) return false;
  }
  return true;
}

bool WriteSettingsChunk(CTiroUSB& usb, std::uint8_t address, std::size_t length, std::size_t index,
                        std::span<const std::uint8_t> image) {
  length = std::min({length, pu::SettingsImage::kMaxSize, image.size()});
  if (index >= pu::SettingsImage::ChunkCount(length)) return false;
  const std::size_t offset = kChunk * index;
  const std::size_t chunk = std::min(kChunk, length - offset);
  return usb.SendCommand(nullptr, Code(UnitCommand::kWriteSettings), address, 0,
                         static_cast<std::uint8_t>(index), 0, chunk, image.data() + offset);
}

bool StoreSettings(CTiroUSB& usb, std::uint8_t address) {
  return usb.SendCommand(nullptr, Code(UnitCommand::kWriteSettings), address,
                         pu::SettingsImage::kStoreFlag, 0, 0, 0, nullptr);
}

bool WriteSettingsImage(CTiroUSB& usb, std::uint8_t address, std::size_t length,
                        std::span<const std::uint8_t> image) {
  length = std::min({length, pu::SettingsImage::kMaxSize, image.size()});
  if (length == 0) return true;
  for (std::size_t i = 0; i < pu::SettingsImage::ChunkCount(length); ++i) {
    if (!WriteSettingsChunk(usb, address, length, i, image)) return false;
  }
  return StoreSettings(usb, address);
}

bool ResetSettings(CTiroUSB& usb, std::uint8_t address,
                   std::span<const std::uint8_t, pu::IdentityRecord::kSize> identity) {
  return usb.SendCommand(nullptr, Code(UnitCommand::kResetSettings), address, 0, 0, 0,
                         identity.size(), identity.data());
}

std::array<std::uint8_t, pu::IdentityRecord::kSize> NewIdentityRecord(
    const platform::LocalTime& today) {
  return pu::IdentityRecord::New(today.year, today.month, today.day).Encode();
}

bool ReadStatus(CTiroUSB& usb, std::uint8_t address,
                std::array<std::uint8_t, pu::StatusRecord::kSize>& out) {
  std::uint8_t reply[pu::kFrameSize] = {};
  if (!usb.SendCommand(reply, Code(UnitCommand::kReadStatus), address, 0, 0,
                       pu::StatusRecord::kSize, 0, nullptr)) {
    return false;
  }
  std::memcpy(out.data(), reply + pu::ReplyHeader::kData, pu::StatusRecord::kSize);
  return true;
}

pu::ClockRecord ToClockRecord(const platform::LocalTime& t) {
  pu::ClockRecord r;
  r.year = t.year;
  r.month = t.month;
  r.day = t.day;
  r.hour = t.hour;
  r.minute = t.minute;
  r.second = t.second;
  return r;
}

platform::LocalTime FromClockRecord(const pu::ClockRecord& r) {
  platform::LocalTime t;
  t.year = r.year;
  t.month = r.month;
  t.day = r.day;
  t.hour = r.hour;
  t.minute = r.minute;
  t.second = r.second;
  return t;
}

bool ReadClock(CTiroUSB& usb, std::uint8_t address, platform::LocalTime& out) {
  std::uint8_t reply[pu::kFrameSize] = {};
  if (!usb.SendCommand(reply, Code(UnitCommand::kReadClock), address, 0, 0, 0, 0, nullptr)) {
    return false;
  }
  if (pu::ReplyHeader::Decode(reply).count == 0) return false;
  out = FromClockRecord(pu::ClockRecord::Decode(std::span(reply).subspan(pu::ReplyHeader::kData)));
  return true;
}

bool SetClock(CTiroUSB& usb, std::uint8_t address, const platform::LocalTime& t) {
  const auto record = ToClockRecord(t).Encode();
  return usb.SendCommand(nullptr, Code(UnitCommand::kSetClock), address, 0, 0, 0, record.size(),
                         record.data());
}

}  // namespace desktop::unitlink
