// Software downloads: the main unit's host and boot areas, and the QVO520
// card's signal processors.
#include <algorithm>

#include "protocol/unit/CardDownloadBegin.h"
#include "protocol/unit/DownloadBlock.h"
#include "protocol/unit/ImageStamp.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/Qvo520Image.h"
#include "sim/UsbHandlers.h"

namespace sim {

namespace pu = protocol::unit;

namespace {

bool ToMainUnit(const Exchange& x) {
  return x.request.header.module == pu::kMainUnitAddress;
}

void Restart(Exchange& x, std::uint32_t ms) {
  x.state.absentUntil = x.clock.Milliseconds() + ms;
}

// The unit now runs what was flashed: take the version and date from the
// stand-in's stamp. Real images carry none and leave the version as it was.
void TakeStampedVersion(const std::vector<std::uint8_t>& flash, SoftwareVersion& version) {
  const auto stamp = protocol::unit::ImageStamp::Decode(flash);
  if (!stamp) return;
  version.major = stamp->version & 0x3F;
  version.minor = static_cast<std::uint16_t>(stamp->version >> 6);
  version.day = stamp->day;
  version.month = stamp->month;
  version.year = static_cast<std::uint8_t>(stamp->year >= 2000 ? stamp->year - 2000 : 0);
}

void Erase(Exchange& x, FlashArea area) {
  UnitState& s = x.state;
  s.erased = area;
  if (area == FlashArea::kHost) {
    s.hostFlash.assign(kHostFlashEnd - kHostFlashStart, 0xFF);
  } else {
    s.bootFlash.assign(kBootFlashEnd - kBootFlashStart, 0xFF);
  }
  s.downloading = s.downloadEnded = false;
  Restart(x, s.scenario.faults.restartMs);
  // Saved before any block: a power cut from here on leaves the area erased.
  x.changed = true;
}

// The erased area as the download writes it; after a restart with an area
// left erased, its bytes are gone and it reads as erased flash.
std::vector<std::uint8_t>& ErasedFlash(UnitState& s) {
  const bool boot = s.erased == FlashArea::kBoot;
  auto& flash = boot ? s.bootFlash : s.hostFlash;
  const std::size_t size = boot ? kBootFlashEnd - kBootFlashStart : kHostFlashEnd - kHostFlashStart;
  if (flash.size() != size) flash.assign(size, 0xFF);
  return flash;
}

bool IsOutputCard(const ModuleState& m) {
  return m.setup.type == pu::type::kQVO520 || m.setup.type == pu::type::kQVO520b;
}

// The processor a card download command names in arg2, when it has one.
bool ProcessorIndex(const Exchange& x, std::size_t& index) {
  index = x.request.header.arg2;
  return IsOutputCard(*x.module) && index < pu::Qvo520Image::kProcessorCount;
}

}  // namespace

namespace handlers {

bool EraseHost(Exchange& x) {
  if (!ToMainUnit(x)) return false;
  Erase(x, FlashArea::kHost);
  return true;
}

bool EraseBoot(Exchange& x) {
  if (!ToMainUnit(x)) return false;
  Erase(x, FlashArea::kBoot);
  return true;
}

bool BeginDownload(Exchange& x) {
  if (!ToMainUnit(x) || x.state.erased == FlashArea::kNone) return false;
  x.state.downloading = true;
  x.state.downloadEnded = false;
  x.state.blocksWritten = 0;
  return true;
}

bool WriteDownloadBlock(Exchange& x) {
  UnitState& s = x.state;
  if (!ToMainUnit(x) || !s.downloading) return false;
  pu::DownloadBlock block;
  if (pu::DownloadBlock::Decode(x.request.data, block) != pu::ParseResult::kComplete) return false;
  // Blocks are even, at most 52 bytes, and say their own length truly.
  const std::size_t count = block.data.size();
  if (count % 2 != 0 || count > pu::DownloadBlock::kMaxMainData || block.address % 2 != 0) {
    return false;
  }
  const bool boot = s.erased == FlashArea::kBoot;
  const std::uint32_t start = boot ? kBootFlashStart : kHostFlashStart;
  const std::uint32_t end = boot ? kBootFlashEnd : kHostFlashEnd;
  if (block.address < start || block.address + count > end) return false;
  auto& flash = ErasedFlash(s);
  std::copy(block.data.begin(), block.data.end(), flash.begin() + (block.address - start));
  ++s.blocksWritten;
  return true;
}

bool EndDownload(Exchange& x) {
  UnitState& s = x.state;
  if (!ToMainUnit(x) || !s.downloading) return false;
  s.downloading = false;
  s.downloadEnded = true;
  if (s.erased == FlashArea::kBoot) {
    s.erased = FlashArea::kNone;  // the boot loader is back
    TakeStampedVersion(s.bootFlash, s.scenario.bootVersion);
  }
  x.changed = true;
  return true;
}

bool StartHost(Exchange& x) {
  UnitState& s = x.state;
  if (!ToMainUnit(x)) return false;
  if (s.erased == FlashArea::kHost && !s.downloadEnded) return false;
  if (s.erased == FlashArea::kHost) {
    TakeStampedVersion(s.hostFlash, s.modules.at(pu::kMainUnitAddress).setup.version);
  }
  s.erased = FlashArea::kNone;
  s.downloadEnded = false;
  Restart(x, kStartRestartMs);
  x.changed = true;
  return true;
}

bool BeginCardDownload(Exchange& x) {
  ModuleState& m = *x.module;
  if (!IsOutputCard(m) || x.request.data.size() != pu::CardDownloadBegin::kSize) return false;
  const auto begin = pu::CardDownloadBegin::Decode(x.request.data);
  if (begin.processor >= pu::Qvo520Image::kProcessorCount) return false;
  m.cardDownload[begin.processor].Begin(begin);
  return true;
}

bool WriteCardBlock(Exchange& x) {
  std::size_t index = 0;
  if (!ProcessorIndex(x, index)) return false;
  pu::DownloadBlock block;
  return pu::DownloadBlock::Decode(x.request.data, block) == pu::ParseResult::kComplete &&
         block.data.size() <= pu::DownloadBlock::kMaxCardData &&
         x.module->cardDownload[index].TakeBlock(block.address, block.data);
}

bool EndCardDownload(Exchange& x) {
  std::size_t index = 0;
  ModuleState& m = *x.module;
  if (!ProcessorIndex(x, index) || !m.cardDownload[index].Active()) return false;
  // A broken image leaves the old software running, and the end fails.
  if (!m.cardDownload[index].End(m.processors[index])) return false;
  x.changed = true;
  return true;
}

}  // namespace handlers

}  // namespace sim
