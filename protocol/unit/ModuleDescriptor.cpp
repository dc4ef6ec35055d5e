#include "protocol/unit/ModuleDescriptor.h"

#include <algorithm>

#include "platform/Bytes.h"

namespace protocol::unit {

ModuleDescriptor ModuleDescriptor::Decode(std::span<const std::uint8_t, kSize> in) {
  ModuleDescriptor d;
  d.status = in[kStatus];
  d.type = in[kType];
  d.settingsLength = platform::GetU16(in, kSettingsLength);
  d.slotCount = in[kSlotCount];
  d.hasClock = in[kHasClock];
  d.versionMajor = platform::GetU16(in, kVersionMajor);
  d.versionMinor = platform::GetU16(in, kVersionMinor);
  d.versionDay = in[kVersionDay];
  d.versionMonth = in[kVersionMonth];
  d.versionYear = in[kVersionYear];
  d.flags = in[kFlags];
  std::copy_n(in.begin() + kModuleSpecific, kModuleSpecificSize, d.moduleSpecific.begin());
  return d;
}

void ModuleDescriptor::EncodeInto(std::span<std::uint8_t, kSize> out) const {
  out[kStatus] = status;
  out[kType] = type;
  platform::PutU16(out, kSettingsLength, settingsLength);
  out[kSlotCount] = slotCount;
  out[kHasClock] = hasClock;
  platform::PutU16(out, kVersionMajor, versionMajor);
  platform::PutU16(out, kVersionMinor, versionMinor);
  out[kVersionDay] = versionDay;
  out[kVersionMonth] = versionMonth;
  out[kVersionYear] = versionYear;
  out[kFlags] = flags;
  std::copy(moduleSpecific.begin(), moduleSpecific.end(), out.begin() + kModuleSpecific);
}

}  // namespace protocol::unit
