#include "remote/link/UnitState.h"

#include <algorithm>
#include <cstdio>

#include "platform/Bytes.h"
#include "protocol/remote/ListEntry.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/RemoteMessages.h"

namespace remote::link {

using namespace protocol::remote;

UnitState::UnitState(RemoteLink& link, platform::Clock& clock) : link_(link), clock_(clock) {
  Reset();
}

void UnitState::Reset() {
  haveStatus_ = haveInfo_ = listComplete_ = false;
  listSequence_ = 0;
  status_ = StatusRecord{};
  statusBytes_ = status_.Encode();
  info_ = UnitInfoRecord{};
  disc_ = DiscStatusRecord{};
  block_ = ModuleBlock{};
  block_.settings.assign(ModuleBlock::kMaxSettings, 0);
  modules_.clear();
  sources_.clear();
}

void UnitState::CheckLink() {
  if (!link_.IsOpen()) Reset();
}

void UnitState::Notify(std::uint32_t id, std::intptr_t wParam) {
  if (view_ != nullptr) view_->Post({id, wParam, {}, {}});
}

void UnitState::NotifyPage(std::uint32_t id) {
  if (page_ != nullptr) page_->Post({id, 0, {}, {}});
}

void UnitState::Dispatch(std::span<const std::uint8_t> frame) {
  if (frame.size() < kFrameOverhead) return;
  const std::size_t length = platform::GetU16(frame, kOffLength);
  // The payload as far as it arrived: never the CRC, never past the frame.
  const auto payload = frame.subspan(kHeaderSize, std::min(length, frame.size() - kFrameOverhead));
  const auto code = static_cast<std::uint16_t>(platform::GetU16(frame, kOffCommand) & ~kRequestBit);

  switch (code) {
    case kRecWriteAck:
      NotifyPage(kWmWriteAck);
      break;
    case kRecClock:
      OnClock(payload);
      break;
    case kRecStatus: {
      haveStatus_ = true;
      std::array<std::uint8_t, StatusRecord::kSize> bytes{};
      std::copy_n(payload.begin(), std::min(payload.size(), bytes.size()), bytes.begin());
      if (bytes != statusBytes_) {
        statusBytes_ = bytes;
        status_ = StatusRecord::Decode(bytes);
        Notify(kWmStatusChanged);
        // Started with "-init": keep asking for the clock until it comes.
        if (initPending_) link_.SendBare(kReqClock);
      }
      break;
    }
    case kRecInfo:
      haveStatus_ = false;
      haveInfo_ = true;
      info_ = UnitInfoRecord::Decode(payload);
      Notify(kWmUnitInfo, kUnitInfoWParam);
      statusDue_ = clock_.Milliseconds() + kStatusPollMs;
      PollStatus();
      break;
    case kRecListEntry:
      OnListEntry(payload);
      break;
    case kRecDiscStatus:
      disc_ = DiscStatusRecord::Decode(payload);
      Notify(kWmDiscStatus);
      break;
    case kRecModuleBlock:
      block_ = ModuleBlock::Decode(payload);
      block_.settings.resize(ModuleBlock::kMaxSettings, 0);
      NotifyPage(kWmModuleBlock);
      break;
    default:
      break;  // records the remote does not use
  }
}

bool UnitState::HandleLinkMessage(const platform::Message& message) {
  if (message.id == kWmLinkData) {
    Dispatch(message.bytes);
    return true;
  }
  if (message.id == kWmLinkConnected) {
    Reset();
    return true;
  }
  return false;
}

void UnitState::OnClock(std::span<const std::uint8_t> payload) {
  const ClockRecord record = ClockRecord::Decode(payload);
  int error = 0;
  if (setLocalTime_ && !setLocalTime_(record.ToLocalTime(), error)) {
    char text[32];
    std::snprintf(text, sizeof text, "Error=%d", error);
    if (view_ != nullptr) view_->Post({kWmClockError, error, text, {}});
    return;
  }
  initPending_ = false;
}

void UnitState::OnListEntry(std::span<const std::uint8_t> payload) {
  const ListEntry record = ListEntry::Decode(payload);
  if (record.IsControl()) {
    if (record.sequence == ListEntry::kForgetAll) {
      modules_.clear();
      sources_.clear();
    } else if (record.sequence == listSequence_) {
      listSequence_ = 0;
      listComplete_ = true;
      Notify(kWmListComplete);
    }
    return;
  }
  // Out of sequence: the list timer asks for the whole listing again.
  if (record.sequence != listSequence_) return;
  ++listSequence_;
  UnitEntry entry = UnitEntry::FromRecord(record);
  auto& list = List(entry.IsModule());
  const auto same = std::find_if(list.begin(), list.end(), [&](const UnitEntry& e) {
    return e.slot == entry.slot && e.input == entry.input;
  });
  if (same != list.end()) {
    *same = std::move(entry);
  } else {
    list.push_back(std::move(entry));
  }
}

void UnitState::StartPolling() {
  const auto now = clock_.Milliseconds();
  polling_ = true;
  statusDue_ = now + kStatusPollMs;
  listDue_ = now + kFirstListPollMs;
}

void UnitState::StopPolling() {
  polling_ = false;
}

void UnitState::Tick() {
  if (!polling_) return;
  const auto now = clock_.Milliseconds();
  if (now >= statusDue_) {
    statusDue_ = now + kStatusPollMs;
    PollStatus();
  }
  if (now >= listDue_) {
    listDue_ = now + kListPollMs;
    PollList();
  }
}

void UnitState::PollStatus() {
  if (!haveInfo_) {
    link_.SendBare(kReqInfo);
  } else if (!haveStatus_) {
    link_.SendBare(kReqStatus);
  }
}

void UnitState::PollList() {
  if (listComplete_) return;
  listSequence_ = 0;
  link_.SendBare(kReqListing);
}

const UnitEntry* UnitState::Find(bool moduleList, int slot, int input) const {
  const auto& list = moduleList ? modules_ : sources_;
  const auto it = std::find_if(list.begin(), list.end(), [&](const UnitEntry& e) {
    return e.slot == slot && e.input == input;
  });
  return it == list.end() ? nullptr : &*it;
}

std::string UnitState::FirstName(bool moduleList, int slot, int input) const {
  const UnitEntry* e = Find(moduleList, slot, input);
  return e == nullptr ? std::string() : e->firstName;
}

std::string UnitState::SecondName(bool moduleList, int slot, int input) const {
  const UnitEntry* e = Find(moduleList, slot, input);
  return e == nullptr ? std::string() : e->secondName;
}

const UnitEntry* UnitState::EntryByTag(std::uint32_t tag) const {
  for (const auto* list : {&modules_, &sources_}) {
    for (const UnitEntry& e : *list) {
      if (e.tag == tag) return &e;
    }
  }
  return nullptr;
}

const UnitEntry* UnitState::NthModule(std::size_t n) const {
  return n < modules_.size() ? &modules_[n] : nullptr;
}

bool UnitState::SetTag(bool moduleList, int slot, int input, std::uint32_t tag) {
  for (UnitEntry& e : List(moduleList)) {
    if (e.slot == slot && e.input == input) {
      e.tag = tag;
      return true;
    }
  }
  return false;
}

std::int16_t UnitState::QuantiseVolume(int wanted) const {
  const int clamped =
      std::clamp<int>(wanted, std::min(status_.volumeMin, status_.volumeMax), status_.volumeMax);
  // A unit that reports step 0 would otherwise stop the remote with a division by zero.
  const int step = std::max<int>(status_.volumeStep, 1);
  return static_cast<std::int16_t>(clamped / step * step);
}

bool UnitState::SetVolume(int wanted) {
  const std::int16_t value = QuantiseVolume(wanted);
  if (value == status_.volume) return true;
  status_.volume = value;
  statusBytes_ = status_.Encode();
  return link_.SendU16(kCmdVolume, static_cast<std::uint16_t>(value));
}

std::string UnitState::VolumeText() const {
  char text[32];
  std::snprintf(text, sizeof text, "%5.1lfdB", status_.volume * 0.1);
  return text;
}

bool UnitState::TogglePower() {
  status_.flags ^= StatusRecord::kPowerOn;
  statusBytes_ = status_.Encode();
  return link_.SendBare(status_.PowerOn() ? kCmdPowerOn : kCmdPowerOff);
}

bool UnitState::ToggleMute(bool muteIsFade) {
  if (muteIsFade) {
    status_.flags ^= StatusRecord::kFadedOut;
    statusBytes_ = status_.Encode();
    return link_.SendU16(kCmdFade, status_.FadedOut() ? 1 : 0);
  }
  status_.flags ^= StatusRecord::kMuted;
  statusBytes_ = status_.Encode();
  return link_.SendBare(status_.Muted() ? kCmdMute : kCmdUnmute);
}

bool UnitState::TogglePolarity() {
  status_.flags ^= StatusRecord::kPolarityInverted;
  statusBytes_ = status_.Encode();
  return link_.SendU16(kCmdPolarity, status_.PolarityInverted() ? 1 : 0);
}

bool UnitState::ToggleFixedOutput(std::uint16_t bit) {
  // The kept record stays as it is: the unit's next record 31 brings the change.
  const auto value = static_cast<std::uint16_t>(
      (status_.outputFlags & (StatusRecord::kFixed35Volt | StatusRecord::kFixedCurrent)) ^
      (bit & (StatusRecord::kFixed35Volt | StatusRecord::kFixedCurrent)));
  return link_.SendU16(kCmdFixedOutput, value);
}

bool UnitState::SetGroup(int group) {
  const std::uint8_t payload[] = {static_cast<std::uint8_t>(group & 3)};
  return link_.Send(kCmdGroup, payload);
}

bool UnitState::SetBitResolution(int bits) {
  const std::uint8_t payload[] = {static_cast<std::uint8_t>(24 - std::clamp(bits, 6, 24))};
  return link_.Send(kCmdBitResolution, payload);
}

bool UnitState::RoomCorrectionOff() {
  const std::uint8_t payload[] = {kRoomCorrectionOff};
  return link_.Send(kCmdRoomCorrection, payload);
}

bool UnitState::RoomCorrectionPreset(int preset) {
  const std::uint8_t on[] = {kRoomCorrectionOn};
  const std::uint8_t p[] = {static_cast<std::uint8_t>(std::clamp(preset, 0, 4))};
  const bool first = link_.Send(kCmdRoomCorrection, on);
  return link_.Send(kCmdRoomPreset, p) && first;
}

bool UnitState::SelectSource(int slot, int input) {
  const std::uint8_t payload[] = {static_cast<std::uint8_t>(slot),
                                  static_cast<std::uint8_t>(input)};
  return link_.Send(kCmdSource, payload);
}

bool UnitState::AssignButton(int button, int slot, int input) {
  const std::uint8_t payload[] = {static_cast<std::uint8_t>(button),
                                  static_cast<std::uint8_t>(slot),
                                  static_cast<std::uint8_t>(input)};
  return link_.Send(kCmdAssignButton, payload);
}

bool UnitState::CdPlay(int track) {
  const std::uint8_t payload[] = {static_cast<std::uint8_t>(track), 0};
  return link_.Send(kCmdCdPlay, payload);
}

bool UnitState::Cd(CdAction action) {
  static constexpr std::uint16_t kCodes[] = {kCmdCdStop, kCmdCdPause,   kCmdCdEject, kCmdCdPrevious,
                                             kCmdCdNext, kCmdCdForward, kCmdCdRewind};
  return link_.SendBare(kCodes[static_cast<int>(action)]);
}

bool UnitState::HardwareKey(bool up) {
  return link_.SendBare(up ? kCmdKeyUp : kCmdKeyDown);
}

bool UnitState::LogoTapped() {
  return link_.SendBare(kCmdLogo);
}

bool UnitState::SetUnitClock(const platform::LocalTime& now) {
  const auto record = ClockRecord::FromLocalTime(now).Encode();
  return link_.Send(kCmdSetClock, record);
}

bool UnitState::RequestUnitClock() {
  return link_.SendBare(kReqClock);
}

bool UnitState::RequestModuleBlock(int address, int subAddress) {
  return link_.SendU16(kReqBlock,
                       static_cast<std::uint16_t>(ModuleBlock::Header(address, subAddress)));
}

bool UnitState::WriteModuleBlock(int address, int subAddress,
                                 std::span<const std::uint8_t> settings, bool live) {
  ModuleBlock block;
  block.header = ModuleBlock::Header(address, subAddress, live);
  block.settings.assign(settings.begin(), settings.end());
  return link_.Send(kCmdWriteBlock, block.Encode());
}

bool UnitState::DefaultModule(int address, int subAddress) {
  return link_.SendU16(kCmdDefaultBlock,
                       static_cast<std::uint16_t>(ModuleBlock::Header(address, subAddress)));
}

bool UnitState::RestoreModule(int address, int subAddress) {
  return link_.SendU16(kCmdRestoreBlock,
                       static_cast<std::uint16_t>(ModuleBlock::Header(address, subAddress)));
}

bool UnitState::SendLiveValue(std::uint16_t command, std::span<const std::uint8_t> payload) {
  return link_.Send(command, payload);
}

bool UnitState::SendGroupMasks(const std::array<std::uint8_t, 4>& masks) {
  // Kept only once sent: what the unit did not get is not its state.
  if (!link_.Send(kCmdLiveValue28, masks)) return false;
  info_.groupMasks = masks;
  return true;
}

}  // namespace remote::link
