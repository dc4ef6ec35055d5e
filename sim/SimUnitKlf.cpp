// The KLF310 cards' side of the simulated unit: curves and the flashed version.
#include <algorithm>

#include "protocol/unit/ImageStamp.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "sim/SimUnit.h"

namespace sim {

namespace pu = protocol::unit;
namespace pk = protocol::klf;

namespace {

constexpr std::size_t kBins = pk::CurveBin::kBinCount;

bool InCurve(const ModuleState& m, const pk::CurveRange& range) {
  return !m.curves.empty() && range.channel < pu::Klf310Image::kChannelCount &&
         range.count <= pk::CurveRange::kMaxBins &&
         std::size_t{range.firstBin} + range.count <= kBins;
}

}  // namespace

std::vector<SimUnit::KlfCard> SimUnit::KlfCards() {
  std::lock_guard lock(mutex_);
  std::vector<KlfCard> cards;
  for (const auto& [address, m] : state_.modules) {
    if (m.setup.type != pu::type::kKLF310 || state_.FindModule(address) == nullptr) continue;
    if (m.stored.size() < pu::Klf310Image::kIp + pu::Klf310Image::kAddressSize) continue;
    KlfCard card;
    card.address = address;
    std::copy_n(m.stored.begin() + pu::Klf310Image::kIp, card.ip.size(), card.ip.begin());
    cards.push_back(card);
  }
  return cards;
}

bool SimUnit::KlfMoveCard(std::uint8_t address, const std::array<std::uint8_t, 4>& ip) {
  std::lock_guard lock(mutex_);
  ModuleState* m = FindModule(address);
  constexpr std::size_t kEnd = pu::Klf310Image::kIp + pu::Klf310Image::kAddressSize;
  if (m == nullptr || m->setup.type != pu::type::kKLF310 || m->stored.size() < kEnd ||
      m->working.size() < kEnd) {
    return false;
  }
  std::copy(ip.begin(), ip.end(), m->stored.begin() + pu::Klf310Image::kIp);
  std::copy(ip.begin(), ip.end(), m->working.begin() + pu::Klf310Image::kIp);
  // Moved either way; a save that fails here fails the start's own save too.
  static_cast<void>(Save());
  return true;
}

bool SimUnit::KlfReadBins(std::uint8_t address, const pk::CurveRange& range,
                          std::vector<pk::CurveBin>& out) {
  std::lock_guard lock(mutex_);
  const ModuleState* m = FindModule(address);
  if (m == nullptr || !InCurve(*m, range)) return false;
  const auto first =
      m->curves.begin() + static_cast<std::ptrdiff_t>(range.channel * kBins + range.firstBin);
  out.assign(first, first + range.count);
  return true;
}

bool SimUnit::KlfWriteBins(std::uint8_t address, const pk::CurveRange& range,
                           std::span<const pk::CurveBin> bins, bool last, KlfTransfer& transfer) {
  std::lock_guard lock(mutex_);
  ModuleState* m = FindModule(address);
  if (m == nullptr || !InCurve(*m, range) || bins.size() != range.count) return false;
  const auto channel = m->curves.begin() + static_cast<std::ptrdiff_t>(range.channel * kBins);
  // A message for another channel starts that channel's transfer afresh.
  if (!transfer.started || transfer.channel != range.channel) {
    transfer.started = true;
    transfer.channel = range.channel;
    transfer.curve.assign(channel, channel + kBins);
  }
  std::copy(bins.begin(), bins.end(), transfer.curve.begin() + range.firstBin);
  if (last) {
    std::copy(transfer.curve.begin(), transfer.curve.end(), channel);
    transfer = {};
    if (!Save()) return false;
  }
  CountKlfBlock();
  return true;
}

SimUnit::KlfFault SimUnit::KlfRequestFault(bool updatePort) {
  std::uint32_t delay = 0;
  KlfFault fault = KlfFault::kNone;
  {
    std::lock_guard lock(mutex_);
    const KlfFaults& f = state_.scenario.klfFaults;
    ++klfRequests_;
    if (updatePort) ++klfUpdateRequests_;
    delay = f.delayMs;
    if (klfSilent_) {
      fault = KlfFault::kLost;
    } else if (updatePort && f.silentFrom != 0 && klfUpdateRequests_ == f.silentFrom) {
      klfSilent_ = true;
      fault = KlfFault::kSilentTaken;
    } else if (f.failEvery != 0 && klfRequests_ % f.failEvery == 0) {
      fault = KlfFault::kFail;
    } else if (f.lostEvery != 0 && klfRequests_ % f.lostEvery == 0) {
      fault = KlfFault::kLost;
    }
  }
  if (delay != 0 && !stopping_) clock_.Sleep(delay);
  return fault;
}

bool SimUnit::KlfListening() {
  std::lock_guard lock(mutex_);
  return clock_.Milliseconds() >= klfRefuseUntil_;
}

void SimUnit::KlfBlockTaken() {
  std::lock_guard lock(mutex_);
  CountKlfBlock();
}

// Called with the lock held.
void SimUnit::CountKlfBlock() {
  if (klfPowerCutAtBlock_ && ++klfBlocks_ == *klfPowerCutAtBlock_) PowerCut();
}

bool SimUnit::KlfStartApplication(std::uint8_t address, std::span<const std::uint8_t> flash) {
  const auto stamp = pu::ImageStamp::Decode(flash);
  if (!stamp) return true;  // no stamp: the card starts, its version unknown as before
  std::lock_guard lock(mutex_);
  ModuleState* m = FindModule(address);
  if (m == nullptr) return true;
  pu::Klf310VersionEntry v;
  v.valid = true;
  v.major = static_cast<std::uint8_t>(stamp->version & 0x3F);
  v.minor = static_cast<std::uint16_t>(stamp->version >> 6);
  v.day = stamp->day;
  v.month = stamp->month;
  v.year = stamp->year;
  const auto old = m->klfApplication;
  m->klfApplication = v;
  if (Save()) return true;
  // A download the card cannot keep is no new software: it stays in its boot
  // software with the old application, so the update fails and can be run
  // again. (A failed save has put back what was saved, so `m` is found anew.)
  if (ModuleState* again = FindModule(address)) again->klfApplication = old;
  return false;
}

std::vector<pk::CurveBin> SimUnit::KlfCurve(std::uint8_t address, std::size_t channel) {
  std::lock_guard lock(mutex_);
  const ModuleState* m = FindModule(address);
  if (m == nullptr || m->curves.empty() || channel >= pu::Klf310Image::kChannelCount) return {};
  const auto first = m->curves.begin() + static_cast<std::ptrdiff_t>(channel * kBins);
  return {first, first + kBins};
}

std::optional<pu::Klf310VersionEntry> SimUnit::KlfApplication(std::uint8_t address) {
  std::lock_guard lock(mutex_);
  const ModuleState* m = FindModule(address);
  return m == nullptr ? std::nullopt : m->klfApplication;
}

}  // namespace sim
