// Discovery, settings images, status and the clock.
#include <algorithm>

#include "platform/Bytes.h"
#include "protocol/unit/ClockRecord.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/ModuleDescriptor.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/StatusRecord.h"
#include "sim/UsbHandlers.h"
#include "sim/cards/Klf310Versions.h"

namespace sim {

namespace pu = protocol::unit;

namespace {

using Reply = pu::ReplyHeader;

std::span<std::uint8_t> Data(Exchange& x) {
  return x.reply.subspan(Reply::kData);
}

void SetCount(Exchange& x, std::size_t count) {
  x.reply[Reply::kCount] = static_cast<std::uint8_t>(count);
}

}  // namespace

void FillDescriptor(const UnitState& state, const ModuleState& m, std::span<std::uint8_t> out) {
  const bool isMain = m.setup.address == pu::kMainUnitAddress;
  const bool running = m.setup.running && !(isMain && state.erased == FlashArea::kHost);
  pu::ModuleDescriptor d = pu::ModuleDescriptor::Decode(out.first<pu::ModuleDescriptor::kSize>());
  d.status = running ? 1 : 0;
  d.type = m.setup.type;
  d.settingsLength = static_cast<std::uint16_t>(m.defaults.size());
  d.slotCount = isMain ? state.scenario.slotCount : 0;
  d.hasClock = isMain ? 1 : 0;
  d.versionMajor = m.setup.version.major;
  d.versionMinor = m.setup.version.minor;
  d.versionDay = m.setup.version.day;
  d.versionMonth = m.setup.version.month;
  d.versionYear = m.setup.version.year;
  d.flags = running ? pu::ModuleDescriptor::kFlagRunning : 0;
  d.moduleSpecific = cards::ModuleSpecificDescriptor(m.setup.type, m.klfApplication);
  d.EncodeInto(out.first<pu::ModuleDescriptor::kSize>());
}

namespace handlers {

bool ReadDescriptor(Exchange& x) {
  FillDescriptor(x.state, *x.module, Data(x));
  SetCount(x, pu::ModuleDescriptor::kSize);
  return true;
}

bool ReadSettings(Exchange& x) {
  ModuleState& m = *x.module;
  const auto& h = x.request.header;
  // The first chunk of a read with the reload flag takes the stored copy.
  if (h.arg2 == 0 && h.arg1 == pu::SettingsImage::kReloadFlag) m.working = m.stored;
  const std::size_t offset = pu::SettingsImage::kChunkSize * h.arg2;
  const std::size_t length = std::min<std::size_t>(h.arg3, pu::SettingsImage::kChunkSize);
  if (offset > m.defaults.size()) return false;
  const std::size_t n = std::min(length, m.defaults.size() - offset);
  std::copy_n(m.working.begin() + static_cast<std::ptrdiff_t>(offset), n, Data(x).begin());
  SetCount(x, n);
  return true;
}

bool WriteSettings(Exchange& x) {
  ModuleState& m = *x.module;
  const auto& h = x.request.header;
  if (h.arg1 == pu::SettingsImage::kStoreFlag) {  // store what was written
    m.stored = m.working;
    x.changed = true;
    return true;
  }
  const std::size_t offset = pu::SettingsImage::kChunkSize * h.arg2;
  if (offset > m.defaults.size()) return false;
  const std::size_t n = std::min(x.request.data.size(), m.defaults.size() - offset);
  std::copy_n(x.request.data.begin(), n, m.working.begin() + static_cast<std::ptrdiff_t>(offset));
  return true;
}

bool ResetSettings(Exchange& x) {
  ModuleState& m = *x.module;
  const auto identity = x.request.data;
  if (identity.size() != pu::IdentityRecord::kSize) return false;
  m.working = m.defaults;
  if (m.working.size() >= identity.size()) {
    std::copy(identity.begin(), identity.end(), m.working.begin());
  }
  m.stored = m.working;
  x.changed = true;
  return true;
}

bool ReadStatus(Exchange& x) {
  auto data = Data(x);
  data[pu::StatusRecord::kErrors] =
      x.state.scenario.faults.eepromError ? pu::StatusRecord::kEepromError : 0;
  data[0] = x.module->setup.running ? 1 : 0;  // the unit's own: its software runs
  SetCount(x, pu::StatusRecord::kSize);
  return true;
}

bool ReadClock(Exchange& x) {
  // Cards have no clock: a reply with count 0.
  if (x.request.header.module != pu::kMainUnitAddress) return true;
  const platform::LocalTime t = platform::ToLocalTime(x.clock.WallTime() + x.state.rtcOffset);
  pu::ClockRecord r;
  r.year = t.year;
  r.month = t.month;
  r.day = t.day;
  r.hour = t.hour;
  r.minute = t.minute;
  r.second = t.second;
  const auto bytes = r.Encode();
  std::copy(bytes.begin(), bytes.end(), Data(x).begin());
  SetCount(x, bytes.size());
  return true;
}

bool SetClock(Exchange& x) {
  if (x.request.header.module != pu::kMainUnitAddress ||
      x.request.data.size() != pu::ClockRecord::kSize) {
    return false;
  }
  const pu::ClockRecord r = pu::ClockRecord::Decode(x.request.data);
  if (!r.Valid()) return false;
  platform::LocalTime t;
  t.year = r.year;
  t.month = r.month;
  t.day = r.day;
  t.hour = r.hour;
  t.minute = r.minute;
  t.second = r.second;
  x.state.rtcOffset = static_cast<std::int64_t>(platform::FromLocalTime(t)) -
                      static_cast<std::int64_t>(x.clock.WallTime());
  x.changed = true;
  return true;
}

}  // namespace handlers

}  // namespace sim
