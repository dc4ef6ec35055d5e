// The unit's side of the remote's Bluetooth stream (SimUnit's remote methods).
#include <algorithm>
#include <cstdio>

#include "platform/Bytes.h"
#include "protocol/remote/ListEntry.h"
#include "protocol/remote/MainUnitBlock.h"
#include "protocol/remote/ModuleBlock.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/MainUnitImage.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "sim/CardModel.h"
#include "sim/RemoteLiveValues.h"
#include "sim/SimUnit.h"
#include "sim/cards/DisplaySettings.h"

namespace sim {

namespace rl = protocol::remote;
namespace pu = protocol::unit;

namespace {

constexpr std::int16_t kVolumeMin = -800;
constexpr std::int16_t kVolumeMax = 100;
constexpr std::size_t kMainVolumeStep = pu::MainUnitImage::kVolumeStep;
constexpr std::size_t kIdentitySize = pu::IdentityRecord::kSize;
constexpr std::uint8_t kTrackCount = CdDrive::kTrackCount;

// Which modules offer sources, how many and what they are called.
struct InputKind {
  std::uint8_t type;
  std::uint8_t count;
  const char* name;
};
constexpr InputKind kInputKinds[] = {
    {kMainUnitType, 1, "CD"},           {pu::type::kQVI520, 1, "Phono"},
    {pu::type::kBUZ310, 1, "Phono MC"}, {pu::type::kSIV520, 8, "Digital"},
    {pu::type::kHEJ520, 3, "AES"},      {pu::type::kNVO310, 7, "Analog"},
};

std::uint32_t TrackMs(std::uint8_t track) {
  return CdDrive::TrackMs(track);
}

std::string ModelName(std::uint8_t address, std::uint8_t type) {
  if (address == pu::kMainUnitAddress) return std::string(pu::kMainUnit.model);
  if (auto t = pu::FindModuleType(type)) return std::string(t->model);
  return "Unknown";
}

}  // namespace

std::uint16_t SimUnit::SerialNumber() {
  std::lock_guard lock(mutex_);
  return state_.scenario.modules.front().serial;
}

std::vector<SourceEntry> ListSources(UnitState& state) {
  std::vector<SourceEntry> sources;
  for (const auto& [address, m] : state.modules) {
    if (state.FindModule(address) == nullptr) continue;
    for (const InputKind& kind : kInputKinds) {
      if (kind.type != m.setup.type || (address == 0) != (kind.type == kMainUnitType)) continue;
      for (std::uint8_t i = 0; i < kind.count; ++i) {
        std::string name = kind.name;
        if (kind.count > 1) name += " " + std::to_string(i + 1);
        sources.push_back({address, i, m.setup.type, name});
      }
    }
  }
  return sources;
}

std::vector<SimUnit::Source> SimUnit::RemoteSources() {
  return ListSources(state_);
}

bool SimUnit::IsSource(std::uint8_t slot, std::uint8_t input) {
  for (const Source& s : RemoteSources()) {
    if (s.slot == slot && s.input == input) return true;
  }
  return false;
}

std::int16_t SimUnit::QuantisedVolume(int wanted) {
  const ModuleState* main = FindModule(0);
  const int step = std::max<int>(main != nullptr && main->working.size() > kMainVolumeStep
                                     ? main->working[kMainVolumeStep]
                                     : 1,
                                 1);
  return static_cast<std::int16_t>(std::clamp<int>(wanted, kVolumeMin, kVolumeMax) / step * step);
}

std::array<std::uint8_t, rl::StatusRecord::kSize> SimUnit::RemoteStatus() {
  std::lock_guard lock(mutex_);
  if (!state_.remoteButtonsSet) {
    const auto sources = RemoteSources();
    for (std::size_t b = 0; b < state_.remote.buttons.size() && b < sources.size(); ++b) {
      state_.remote.buttons[b] = {sources[b].slot, sources[b].input};
    }
    state_.remoteButtonsSet = true;
  }
  rl::StatusRecord r;
  r.volumeMin = kVolumeMin;
  r.volumeMax = kVolumeMax;
  r.volume = state_.remote.volume;
  const ModuleState* main = FindModule(0);
  r.volumeStep = main != nullptr && main->working.size() > kMainVolumeStep
                     ? main->working[kMainVolumeStep]
                     : 0;
  std::uint16_t flags = 0;
  if (state_.remote.power) flags |= rl::StatusRecord::kPowerOn;
  if (state_.remote.muted) flags |= rl::StatusRecord::kMuted;
  flags |=
      static_cast<std::uint16_t>(state_.remote.truncation << rl::StatusRecord::kTruncationShift);
  if (state_.remote.polarityInverted) flags |= rl::StatusRecord::kPolarityInverted;
  if (state_.remote.fadedOut) flags |= rl::StatusRecord::kFadedOut;
  if (state_.remote.sourceSlot == 0 && state_.remote.sourceInput == 0) {
    flags |= rl::StatusRecord::kSourceKindCd << rl::StatusRecord::kSourceKindShift;
  }
  flags |= static_cast<std::uint16_t>(state_.remote.group << rl::StatusRecord::kGroupShift);
  r.flags = flags;
  r.sourceSlot = state_.remote.sourceSlot;
  r.sourceInput = state_.remote.sourceInput;
  r.buttonSources = state_.remote.buttons;
  r.outputFlags = static_cast<std::uint16_t>(
      state_.remote.fixedOutput |
      (state_.remote.roomCorrection ? rl::StatusRecord::kRoomModeOn : 0) |
      (state_.remote.roomPreset << rl::StatusRecord::kRoomPresetShift));
  return r.Encode();
}

std::array<std::uint8_t, rl::UnitInfoRecord::kSize> SimUnit::RemoteInfo() {
  std::lock_guard lock(mutex_);
  rl::UnitInfoRecord r;
  r.serialNumber = state_.scenario.modules.front().serial;
  for (const Source& s : RemoteSources()) {
    r.inputMasks[s.slot] = static_cast<std::uint16_t>(r.inputMasks[s.slot] | (1u << s.input));
  }
  r.groupMasks = state_.remote.groupMasks;
  return r.Encode();
}

void SimUnit::SettleCd() {
  state_.remote.cd.Settle(clock_.Milliseconds());
}

std::array<std::uint8_t, rl::DiscStatusRecord::kSize> SimUnit::RemoteDisc() {
  std::lock_guard lock(mutex_);
  SettleCd();
  const CdDrive& cd = state_.remote.cd;
  rl::DiscStatusRecord r;
  if (cd.disc) {
    r.discFlags = rl::DiscStatusRecord::kDiscPresent;
    r.firstTrack = 1;
    r.lastTrack = kTrackCount;
    r.track = cd.track;
    r.index = 1;
    const std::uint32_t seconds = static_cast<std::uint32_t>(cd.elapsedMs / 1000);
    r.minutes = static_cast<std::uint8_t>(seconds / 60);
    r.seconds = static_cast<std::uint8_t>(seconds % 60);
    std::uint32_t total = 0, before = 0;
    for (std::uint8_t t = 1; t <= kTrackCount; ++t) {
      if (t < cd.track) before += TrackMs(t) / 1000;
      total += TrackMs(t) / 1000;
    }
    r.totalMinutes = static_cast<std::uint8_t>(total / 60);
    r.totalSeconds = static_cast<std::uint8_t>(total % 60);
    r.actualSeconds =
        cd.mode == CdDrive::Mode::kStopped ? 0 : static_cast<std::uint16_t>(before + seconds);
  }
  return r.Encode();
}

std::array<std::uint8_t, rl::ClockRecord::kSize> SimUnit::RemoteClock() {
  std::lock_guard lock(mutex_);
  return rl::ClockRecord::FromLocalTime(platform::ToLocalTime(clock_.WallTime() + state_.rtcOffset))
      .Encode();
}

std::vector<std::vector<std::uint8_t>> SimUnit::RemoteListing() {
  std::lock_guard lock(mutex_);
  std::vector<std::vector<std::uint8_t>> payloads;
  rl::ListEntry control;
  control.slot = rl::ListEntry::kControlBit;
  control.sequence = rl::ListEntry::kForgetAll;
  payloads.push_back(control.Encode());
  std::uint8_t sequence = 0;
  for (const auto& [address, m] : state_.modules) {
    if (FindModule(address) == nullptr) continue;
    rl::ListEntry e;
    e.slot = address;
    e.input = rl::ListEntry::kModuleInput;
    e.sequence = sequence++;
    e.type = m.setup.type;
    e.firstName = ModelName(address, m.setup.type);
    char version[16];
    std::snprintf(version, sizeof version, "V%u.%03u", m.setup.version.major,
                  m.setup.version.minor);
    e.secondName = version;
    payloads.push_back(e.Encode());
  }
  for (const Source& s : RemoteSources()) {
    rl::ListEntry e;
    e.slot = s.slot;
    e.input = s.input;
    e.sequence = sequence++;
    e.type = s.type;
    e.firstName = s.name;
    e.secondName = ModelName(s.slot, s.type);
    payloads.push_back(e.Encode());
  }
  control.sequence = sequence;
  payloads.push_back(control.Encode());
  return payloads;
}

namespace {

bool IsMainUnitRecord(const rl::ModuleBlock& block) {
  return block.Address() == pu::kMainUnitAddress &&
         block.SubAddress() == rl::MainUnitBlock::kSubAddress;
}

// The main unit's record 60: its options and what it tells of itself.
rl::MainUnitBlock MainUnitRecord(const ModuleState& main, std::uint32_t header) {
  rl::MainUnitBlock r;
  r.header = header;
  r.volumeStep = main.working[pu::MainUnitImage::kVolumeStep];
  const std::uint16_t options = platform::GetU16(main.working, pu::MainUnitImage::kOptions);
  r.language = (options & pu::MainUnitImage::kLanguageBit) != 0;
  r.clockDisplay = (options & pu::MainUnitImage::kClockDisplayBit) != 0;
  r.firmwareMajor = static_cast<std::uint8_t>(main.setup.version.major);
  r.firmwareMinor = main.setup.version.minor;
  r.firmwareDay = main.setup.version.day;
  r.firmwareMonth = main.setup.version.month;
  r.firmwareYear = static_cast<std::uint16_t>(2000 + main.setup.version.year);
  const auto id = pu::IdentityRecord::Decode(main.working);
  r.serial = id.serial;
  r.deliveryDate =
      rl::MainUnitBlock::EncodeDate({id.deliveryDay, id.deliveryMonth, 2000 + id.deliveryYear});
  return r;
}

// The remote's options word into the main unit's image; the rest stays the unit's.
void ApplyMainUnitOptions(std::vector<std::uint8_t>& image, std::uint16_t word) {
  image[pu::MainUnitImage::kVolumeStep] =
      static_cast<std::uint8_t>(word & rl::MainUnitBlock::kVolumeStepMask);
  std::uint16_t options = platform::GetU16(image, pu::MainUnitImage::kOptions);
  options = static_cast<std::uint16_t>(
      options & ~(pu::MainUnitImage::kLanguageBit | pu::MainUnitImage::kClockDisplayBit));
  if ((word & rl::MainUnitBlock::kLanguageBit) != 0) options |= pu::MainUnitImage::kLanguageBit;
  if ((word & rl::MainUnitBlock::kClockDisplayBit) != 0) {
    options |= pu::MainUnitImage::kClockDisplayBit;
  }
  platform::PutU16(image, pu::MainUnitImage::kOptions, options);
}

bool HasMainOptions(const ModuleState* main) {
  return main != nullptr && main->working.size() >= pu::MainUnitImage::kEnd;
}

}  // namespace

bool SimUnit::RemoteModuleBlock(std::uint16_t header, std::vector<std::uint8_t>& payload) {
  std::lock_guard lock(mutex_);
  rl::ModuleBlock block;
  block.header = header & rl::ModuleBlock::kModuleBits;
  ModuleState* main = FindModule(pu::kMainUnitAddress);
  if (IsMainUnitRecord(block)) {
    if (!HasMainOptions(main)) return false;
    const auto bytes = MainUnitRecord(*main, block.header).Encode();
    payload.assign(bytes.begin(), bytes.end());
    return true;
  }
  ModuleState* m = FindModule(static_cast<std::uint8_t>(block.Address()));
  if (m != nullptr && m->setup.type == pu::type::kFront26 &&
      m->setup.subAddress == block.SubAddress()) {
    // The display keeps no image: its block is the levels the unit holds for it.
    payload.assign(rl::DisplayBlock::kSize, 0);
    platform::PutU32(payload, rl::ModuleBlock::kOffHeader, block.header);
    const auto levels = state_.display.Encode();
    std::copy(levels.begin(), levels.end(), payload.begin() + rl::DisplayBlock::kOffLevels);
    if (HasMainOptions(main)) {
      platform::PutU16(payload, rl::DisplayBlock::kOffAltScreen,
                       platform::GetU16(main->working, pu::MainUnitImage::kAltScreen));
    }
    return true;
  }
  if (m == nullptr || m->setup.subAddress != block.SubAddress() ||
      m->working.size() <= kIdentitySize) {
    return false;
  }
  block.settings.assign(m->working.begin() + kIdentitySize, m->working.end());
  payload = block.Encode();
  return true;
}

bool SimUnit::ApplyDisplayBlock(std::uint16_t command, std::span<const std::uint8_t> payload) {
  ModuleState* main = FindModule(pu::kMainUnitAddress);
  switch (command) {
    case rl::kCmdWriteBlock:
      for (std::size_t n = 0; n < rl::DisplayBlock::kLevelCount; ++n) {
        const std::size_t at = rl::DisplayBlock::LevelOffset(n);
        if (at >= payload.size()) break;
        pu::DisplayLevel& level = state_.display.levels[n];
        level.value = std::clamp(payload[at], level.min, level.max);
      }
      if (payload.size() >= rl::DisplayBlock::kSize && HasMainOptions(main)) {
        platform::PutU16(main->working, pu::MainUnitImage::kAltScreen,
                         platform::GetU16(payload, rl::DisplayBlock::kOffAltScreen));
        if (!rl::ModuleBlock::Decode(payload).Live()) main->stored = main->working;
      }
      return Save();
    case rl::kCmdDefaultBlock:
      state_.display = cards::DefaultDisplayLevels();
      if (HasMainOptions(main)) {
        std::copy_n(main->defaults.begin() + pu::MainUnitImage::kAltScreen, 2,
                    main->working.begin() + pu::MainUnitImage::kAltScreen);
        main->stored = main->working;
      }
      return Save();
    case rl::kCmdRestoreBlock:
      return true;  // the levels are stored as they change
    default:
      return false;
  }
}

bool SimUnit::ApplyBlockCommand(std::uint16_t command, std::span<const std::uint8_t> payload) {
  if (payload.size() < 2) return false;
  const auto block = rl::ModuleBlock::Decode(payload);
  ModuleState* m = FindModule(static_cast<std::uint8_t>(block.Address()));
  const bool mainRecord = IsMainUnitRecord(block);
  if (mainRecord && command == rl::kCmdWriteBlock) {
    if (!HasMainOptions(m) || payload.size() < rl::MainUnitBlock::kOffOptions + 2) return false;
    ApplyMainUnitOptions(m->working, platform::GetU16(payload, rl::MainUnitBlock::kOffOptions));
    if (!block.Live()) {
      m->stored = m->working;
      if (!Save()) return false;
      if (remotePowerCutAtBlock_ && ++remoteBlocks_ == *remotePowerCutAtBlock_) PowerCut();
    }
    return true;
  }
  if (!mainRecord && m != nullptr && m->setup.type == pu::type::kFront26 &&
      m->setup.subAddress == block.SubAddress()) {
    return ApplyDisplayBlock(command, payload);
  }
  // Default and restore of the main unit's record cover its whole image, identity kept.
  if (m == nullptr || (!mainRecord && m->setup.subAddress != block.SubAddress()) ||
      m->working.size() <= kIdentitySize) {
    return false;
  }
  switch (command) {
    case rl::kCmdWriteBlock: {
      if (payload.size() < rl::ModuleBlock::kHeaderSize) return false;
      const std::size_t n = std::min(block.settings.size(), m->working.size() - kIdentitySize);
      std::copy_n(block.settings.begin(), n, m->working.begin() + kIdentitySize);
      if (!block.Live()) {  // a save: the unit stores it
        m->stored = m->working;
        if (!Save()) return false;
        if (remotePowerCutAtBlock_ && ++remoteBlocks_ == *remotePowerCutAtBlock_) PowerCut();
      }
      return true;
    }
    case rl::kCmdDefaultBlock:  // defaults, the identity kept
      std::copy(m->defaults.begin() + kIdentitySize, m->defaults.end(),
                m->working.begin() + kIdentitySize);
      m->stored = m->working;
      return Save();
    case rl::kCmdRestoreBlock:
      m->working = m->stored;
      return true;
    default:
      return false;
  }
}

bool SimUnit::ApplyRemoteCommand(std::uint16_t command, std::span<const std::uint8_t> payload) {
  std::lock_guard lock(mutex_);
  RemoteUnitState& r = state_.remote;
  CdDrive& cd = r.cd;
  auto u16 = [&](std::size_t at) { return platform::GetU16(payload, at); };
  auto need = [&](std::size_t n) { return payload.size() >= n; };
  SettleCd();
  switch (command) {
    case rl::kCmdFixedOutput:
      if (!need(2)) return false;
      r.fixedOutput = u16(0) & 3;
      return true;
    case rl::kCmdPowerOn:
    case rl::kCmdPowerOff:
      r.power = command == rl::kCmdPowerOn;
      return true;
    case rl::kCmdMute:
    case rl::kCmdUnmute:
      r.muted = command == rl::kCmdMute;
      return true;
    case rl::kCmdVolume:
      if (!need(2)) return false;
      r.volume = QuantisedVolume(static_cast<std::int16_t>(u16(0)));
      return true;
    case rl::kCmdKeyDown:
    case rl::kCmdKeyUp: {
      const ModuleState* main = FindModule(0);
      const int step = main != nullptr && main->working.size() > kMainVolumeStep
                           ? main->working[kMainVolumeStep]
                           : 1;
      r.volume = QuantisedVolume(r.volume + (command == rl::kCmdKeyUp ? step : -step));
      return true;
    }
    case rl::kCmdSource:
      if (!need(2) || !IsSource(payload[0], payload[1])) return false;
      r.sourceSlot = payload[0];
      r.sourceInput = payload[1];
      return true;
    case rl::kCmdGroup:
      if (!need(1) || payload[0] > 3) return false;
      r.group = payload[0];
      return true;
    case rl::kCmdLiveValue28:
      if (!need(4)) return false;
      std::copy_n(payload.begin(), 4, r.groupMasks.begin());
      return true;
    case rl::kCmdSetClock: {
      if (!need(rl::ClockRecord::kSize)) return false;
      const platform::LocalTime t = rl::ClockRecord::Decode(payload).ToLocalTime();
      if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
          t.second > 59) {
        return false;
      }
      state_.rtcOffset = static_cast<std::int64_t>(platform::FromLocalTime(t)) -
                         static_cast<std::int64_t>(clock_.WallTime());
      return Save();
    }
    case rl::kCmdAssignButton:
      if (!need(3) || payload[0] >= r.buttons.size() || !IsSource(payload[1], payload[2]))
        return false;
      r.buttons[payload[0]] = {payload[1], payload[2]};
      state_.remoteButtonsSet = true;
      return true;
    case rl::kCmdBitResolution:
      if (!need(1) || payload[0] > 18) return false;
      r.truncation = payload[0];
      return true;
    case rl::kCmdPolarity:
      if (!need(2)) return false;
      r.polarityInverted = u16(0) != 0;
      return true;
    case rl::kCmdFade:
      if (!need(2)) return false;
      r.fadedOut = u16(0) != 0;
      return true;
    case rl::kCmdCdPlay:
      return need(1) && cd.Play(payload[0], clock_.Milliseconds());
    case rl::kCmdCdStop:
      cd.Stop();
      return true;
    case rl::kCmdCdPause:
      cd.TogglePause(clock_.Milliseconds());
      return true;
    case rl::kCmdCdEject:
      cd.Eject();
      return true;
    case rl::kCmdCdPrevious:
      cd.Previous();
      return true;
    case rl::kCmdCdNext:
      cd.Next();
      return true;
    case rl::kCmdCdForward:
      cd.Forward();
      return true;
    case rl::kCmdCdRewind:
      cd.Rewind();
      return true;
    case rl::kCmdRoomPreset:
      if (!need(1) || payload[0] > 4) return false;
      r.roomPreset = payload[0];
      return true;
    case rl::kCmdRoomCorrection:
      if (!need(1) ||
          (payload[0] != rl::kRoomCorrectionOff && payload[0] != rl::kRoomCorrectionOn)) {
        return false;
      }
      r.roomCorrection = payload[0] == rl::kRoomCorrectionOn;
      return true;
    case rl::kCmdWriteBlock:
    case rl::kCmdDefaultBlock:
    case rl::kCmdRestoreBlock: {
      // A block the unit cannot store is not taken: asked again, the unit
      // shows what it would after a restart, so no writer takes it as stored.
      UnitState before = state_;
      if (ApplyBlockCommand(command, payload)) return true;
      state_ = std::move(before);
      return false;
    }
    case rl::kCmdLiveValue63: {  // KLF310 band record: band number in bits 6-10
      if (!need(48)) return false;
      for (auto& [address, m] : state_.modules) {
        if (m.setup.type != pu::type::kKLF310) continue;
        const std::size_t band = (platform::GetU32(payload, 0) >> 6) & 0x1F;
        if (band >= m.table.size()) return false;
        std::copy_n(payload.begin(), 48, m.table[band].begin());
        return Save();
      }
      return false;
    }
    case rl::kCmdLiveValue70: {
      if (!need(4)) return false;
      const std::uint8_t slot = u16(0) & 0xF;
      ModuleState* m = FindModule(slot);
      if (m == nullptr) return false;
      if (m->setup.type ==
          pu::type::kFront26) {  // the front display's settings live in the main unit
        const std::size_t index = (u16(0) >> 4) & 0xF;
        ModuleState* main = FindModule(pu::kMainUnitAddress);
        if (index == rl::DisplayBlock::kAltScreenControl && HasMainOptions(main)) {
          platform::PutU16(main->working, pu::MainUnitImage::kAltScreen, u16(2));
          return true;
        }
        if (index >= state_.display.levels.size()) return false;
        pu::DisplayLevel& level = state_.display.levels[index];
        level.value = static_cast<std::uint8_t>(std::clamp<int>(u16(2), level.min, level.max));
        return Save();
      }
      return ApplyRemoteLiveValue(m->setup.type, static_cast<std::uint8_t>(command), payload,
                                  m->working);
    }
    case rl::kCmdLiveValue56:
    case rl::kCmdLiveValue66:
    case rl::kCmdLiveValue67:
    case rl::kCmdLiveValue69: {
      if (!need(1)) return false;
      ModuleState* m = FindModule(payload[0] & 0xF);
      return m != nullptr && ApplyRemoteLiveValue(m->setup.type, static_cast<std::uint8_t>(command),
                                                  payload, m->working);
    }
    case rl::kCmdLogo:
      return true;  // the unit takes it and shows nothing
    default:
      return false;
  }
}

}  // namespace sim
