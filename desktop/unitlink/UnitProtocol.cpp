#include "desktop/unitlink/UnitProtocol.h"

#include <algorithm>
#include <cstring>

#include "desktop/unitlink/UnitCommand.h"
#include "platform/Bytes.h"

namespace desktop::unitlink {

namespace {
constexpr auto Code(UnitCommand c) { return static_cast<std::uint8_t>(c); }
}  // namespace

DescriptorFields DescriptorFields::Decode(std::span<const std::uint8_t, kDescriptorSize> d) {
  DescriptorFields f;
  f.status = d[desc::kStatus];
  f.type = d[desc::kType];
  f.settingsLength = platform::GetU16(d, desc::kSettingsLength);
  f.slotCount = d[desc::kSlotCount];
  f.hasClock = d[desc::kHasClock];
  f.versionMajor = platform::GetU16(d, desc::kVersionMajor);
  f.versionMinor = platform::GetU16(d, desc::kVersionMinor);
  f.versionDay = d[desc::kVersionDay];
  f.versionMonth = d[desc::kVersionMonth];
  f.versionYear = d[desc::kVersionYear];
  f.flags = d[desc::kFlags];
  return f;
}

void DescriptorFields::EncodeInto(std::span<std::uint8_t, kDescriptorSize> d) const {
  d[desc::kStatus] = status;
  d[desc::kType] = type;
  platform::PutU16(d, desc::kSettingsLength, settingsLength);
  d[desc::kSlotCount] = slotCount;
  d[desc::kHasClock] = hasClock;
  platform::PutU16(d, desc::kVersionMajor, versionMajor);
  platform::PutU16(d, desc::kVersionMinor, versionMinor);
  d[desc::kVersionDay] = versionDay;
  d[desc::kVersionMonth] = versionMonth;
  d[desc::kVersionYear] = versionYear;
  d[desc::kFlags] = flags;
}

bool ReadModuleDescriptor(CTiroUSB& usb, std::uint8_t address, ModuleInfo& out) {
  std::uint8_t reply[kFrameSize] = {};
  if (!usb.SendCommand(reply, Code(UnitCommand::kReadDescriptor), address, 0, 0, 0, 0, nullptr)) {
    return false;
  }
  out.address = reply[kReplyOffAddress];
  out.subAddress = reply[kReplyOffSubAddress];
  std::memcpy(out.descriptor.data(), reply + kReplyOffData, kDescriptorSize);
  return true;
}

Discovery DiscoverModules(CTiroUSB& usb) {
  Discovery result;
  if (!ReadModuleDescriptor(usb, 0, result.mainUnit)) return result;
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
  return std::min<std::size_t>(module.Fields().settingsLength, kMaxSettings);
}

bool ReadSettingsImage(CTiroUSB& usb, std::uint8_t address, std::size_t length, bool reload,
                       std::span<std::uint8_t> image) {
  std::fill(image.begin(), image.end(), 0);
  length = std::min({length, kMaxSettings, image.size()});
  if (length == 0) return true;
  for (std::size_t i = 0; i <= length / kMaxData; ++i) {
    const std::size_t offset = kMaxData * i;
    const std::size_t chunk = std::min(kMaxData, length - offset);
    std::uint8_t reply[kFrameSize] = {};
    if (!usb.SendCommand(reply, Code(UnitCommand::kReadSettings), address,
                         (i == 0 && reload) ? 1 : 0, static_cast<std::uint8_t>(i),
                         static_cast<std::uint8_t>(chunk), 0, nullptr)) {
      return false;
    }
    std::memcpy(image.data() + offset, reply + kReplyOffData, chunk);
  }
  return true;
}

bool WriteSettingsImage(CTiroUSB& usb, std::uint8_t address, std::size_t length,
                        std::span<const std::uint8_t> image) {
  length = std::min({length, kMaxSettings, image.size()});
  if (length == 0) return true;
  bool all = true;
  for (std::size_t i = 0; i <= length / kMaxData; ++i) {
    const std::size_t offset = kMaxData * i;
    const std::size_t chunk = std::min(kMaxData, length - offset);
    all &= usb.SendCommand(nullptr, Code(UnitCommand::kWriteSettings), address, 0,
                           static_cast<std::uint8_t>(i), 0, chunk, image.data() + offset);
  }
  all &= usb.SendCommand(nullptr, Code(UnitCommand::kWriteSettings), address, 1, 0, 0, 0, nullptr);
  return all;
}

bool ResetSettings(CTiroUSB& usb, std::uint8_t address,
                   std::span<const std::uint8_t, kIdentitySize> identity) {
  return usb.SendCommand(nullptr, Code(UnitCommand::kResetSettings), address, 0, 0, 0,
                         kIdentitySize, identity.data());
}

Identity Identity::Decode(std::span<const std::uint8_t> image) {
  Identity id;
  id.deliveryYear = image[1];
  id.deliveryMonth = image[2];
  id.deliveryDay = image[3];
  id.serial = platform::GetU16(image, 4);
  return id;
}

void Identity::EncodeInto(std::span<std::uint8_t> image) const {
  image[1] = deliveryYear;
  image[2] = deliveryMonth;
  image[3] = deliveryDay;
  platform::PutU16(image, 4, serial);
}

std::array<std::uint8_t, kIdentitySize> NewIdentityRecord(const platform::LocalTime& today) {
  std::array<std::uint8_t, kIdentitySize> record{};
  Identity id;
  id.deliveryYear = static_cast<std::uint8_t>(today.year - 2000);
  id.deliveryMonth = static_cast<std::uint8_t>(today.month);
  id.deliveryDay = static_cast<std::uint8_t>(today.day);
  id.serial = 100;
  id.EncodeInto(record);
  return record;
}

bool ReadStatus(CTiroUSB& usb, std::uint8_t address, std::array<std::uint8_t, kStatusSize>& out) {
  std::uint8_t reply[kFrameSize] = {};
  if (!usb.SendCommand(reply, Code(UnitCommand::kReadStatus), address, 0, 0, kStatusSize, 0,
                       nullptr)) {
    return false;
  }
  std::memcpy(out.data(), reply + kReplyOffData, kStatusSize);
  return true;
}

std::array<std::uint8_t, kClockSize> EncodeClock(const platform::LocalTime& t) {
  return {static_cast<std::uint8_t>(t.day),         static_cast<std::uint8_t>(t.month),
          static_cast<std::uint8_t>(t.year - 2000), static_cast<std::uint8_t>(t.hour),
          static_cast<std::uint8_t>(t.minute),      static_cast<std::uint8_t>(t.second)};
}

platform::LocalTime DecodeClock(std::span<const std::uint8_t, kClockSize> r) {
  platform::LocalTime t;
  t.day = r[0];
  t.month = r[1];
  t.year = 2000 + r[2];
  t.hour = r[3];
  t.minute = r[4];
  t.second = r[5];
  return t;
}

bool ReadClock(CTiroUSB& usb, std::uint8_t address, platform::LocalTime& out) {
  std::uint8_t reply[kFrameSize] = {};
  if (!usb.SendCommand(reply, Code(UnitCommand::kReadClock), address, 0, 0, 0, 0, nullptr)) {
    return false;
  }
  if (reply[kReplyOffCount] == 0) return false;
  out = DecodeClock(std::span<const std::uint8_t, kClockSize>(reply + kReplyOffData, kClockSize));
  return true;
}

bool SetClock(CTiroUSB& usb, std::uint8_t address, const platform::LocalTime& t) {
  const auto record = EncodeClock(t);
  return usb.SendCommand(nullptr, Code(UnitCommand::kSetClock), address, 0, 0, 0, kClockSize,
                         record.data());
}

}  // namespace desktop::unitlink
