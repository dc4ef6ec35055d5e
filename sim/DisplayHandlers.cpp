// The front panel: display settings, the picture, the boot descriptor and the
// Bluetooth module, all answered by the main unit.
#include <algorithm>

#include "protocol/unit/DisplayLevels.h"
#include "protocol/unit/FieldRow.h"
#include "protocol/unit/LiveRecords.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/ModuleDescriptor.h"
#include "sim/DisplayRenderer.h"
#include "sim/SourceList.h"
#include "sim/UsbHandlers.h"

namespace sim {

namespace pu = protocol::unit;

namespace {

using Reply = pu::ReplyHeader;

// How often the peak meter moves, and how far it swings.
constexpr std::uint64_t kMeterStepMs = 100;
constexpr int kMeterSwing = 30;

// A meter reading that moves with the unit's time, louder with the volume.
int PeakAt(std::uint64_t step, int channel, int volumeTenths) {
  std::uint64_t h = (step * 2 + static_cast<std::uint64_t>(channel)) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 29;
  const int base = std::clamp(100 + volumeTenths / 10 - kMeterSwing, 0, 100 - kMeterSwing);
  return base + static_cast<int>(h % (kMeterSwing + 1));
}

// What the display shows: what the remote set, the same unit on every link.
DisplayContent CurrentDisplay(const Exchange& x) {
  const RemoteUnitState& remote = x.state.remote;
  DisplayContent c;
  c.line1 = std::string(pu::kMainUnit.model);
  c.line2 = "No source";
  for (const SourceEntry& source : ListSources(x.state)) {
    if (source.slot == remote.sourceSlot && source.input == remote.sourceInput)
      c.line2 = source.name;
  }
  c.line3 = remote.muted ? std::string("Muted") : protocol::unit::LevelText(remote.volume);
  c.powerOn = remote.power;
  if (!remote.muted && !remote.fadedOut) {
    const std::uint64_t step = x.clock.Milliseconds() / kMeterStepMs;
    c.peakLeft = PeakAt(step, 0, remote.volume);
    c.peakRight = PeakAt(step, 1, remote.volume);
  }
  const auto t = platform::ToLocalTime(x.clock.WallTime() + x.state.rtcOffset);
  c.hour = t.hour;
  c.minute = t.minute;
  return c;
}

}  // namespace

namespace handlers {

bool ReadBootDescriptor(Exchange& x) {
  if (x.request.header.module != pu::kMainUnitAddress) return false;
  ModuleState main = x.state.modules.at(pu::kMainUnitAddress);
  main.setup.version = x.state.scenario.bootVersion;
  main.setup.type = 0;
  FillDescriptor(x.state, main, x.reply.subspan(Reply::kData));
  x.reply[Reply::kCount] = pu::ModuleDescriptor::kSize;
  return true;
}

bool ReadDisplayLevels(Exchange& x) {
  const auto bytes = x.state.display.Encode();
  std::copy(bytes.begin(), bytes.end(), x.reply.begin() + Reply::kData);
  x.reply[Reply::kCount] = pu::DisplayLevels::kSize;
  return true;
}

bool SetDisplayLevel(Exchange& x) {
  const auto setting = pu::DisplaySettingOf(x.request.header.code);
  if (!setting) return false;
  pu::DisplayLevel& level = x.state.display[*setting];
  level.value = std::clamp(x.request.header.arg2, level.min, level.max);
  x.changed = true;
  return true;
}

bool ReadDisplayRow(Exchange& x) {
  const auto& h = x.request.header;
  if (x.module->setup.type != pu::type::kFront26 || h.arg1 != x.module->setup.subAddress ||
      h.arg2 >= pu::DisplayRow::kHeight) {
    return false;
  }
  // The fault of a unit that stops answering part way down its display.
  const unsigned answered = x.state.scenario.faults.displayRows;
  if (answered != 0 && h.arg2 >= answered) return false;
  const auto row = RenderDisplayRow(CurrentDisplay(x), h.arg2);
  std::copy(row.begin(), row.end(), x.reply.begin() + Reply::kData);
  x.reply[Reply::kCount] = pu::DisplayRow::kSize;
  return true;
}

bool TakeAndIgnore(Exchange&) {
  return true;
}

bool BtModuleInit(Exchange& x) {
  if (x.request.data.size() < pu::BtModuleInitRecord::kStart + 2) return false;
  x.state.btInit =
      (x.request.data[pu::BtModuleInitRecord::kStart] & pu::BtModuleInitRecord::kStartBit) != 0;
  return true;
}

}  // namespace handlers

}  // namespace sim
