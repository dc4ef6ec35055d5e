#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "protocol/remote/ClockRecord.h"
#include "protocol/remote/DiscStatusRecord.h"
#include "protocol/remote/ModuleBlock.h"
#include "protocol/remote/StatusRecord.h"
#include "protocol/remote/UnitInfoRecord.h"
#include "remote/link/RemoteLink.h"
#include "remote/link/UnitEntry.h"

namespace remote::link {

// The remote's model of the unit, kept current from the records the unit sends
// and by polling. Lives on the user-interface thread: received frames are
// handed to Dispatch there, and Tick runs the polling timers, so it needs no lock.
// News goes to the view (and the open setup page) as posted messages without data.
class UnitState {
 public:
  using StatusRecord = protocol::remote::StatusRecord;
  using UnitInfoRecord = protocol::remote::UnitInfoRecord;
  using DiscStatusRecord = protocol::remote::DiscStatusRecord;
  using ModuleBlock = protocol::remote::ModuleBlock;

  // Sets the handheld's local time; false with the system error code.
  using SetLocalTime = std::function<bool(const platform::LocalTime&, int& error)>;

  enum class CdAction { kStop, kPause, kEject, kPrevious, kNext, kForward, kRewind };

  static constexpr std::uint32_t kStatusPollMs = 200;
  static constexpr std::uint32_t kListPollMs = 1000;
  static constexpr std::uint32_t kFirstListPollMs = 200;

  UnitState(RemoteLink& link, platform::Clock& clock);

  void SetView(platform::MessageTarget* view) { view_ = view; }
  void SetPage(platform::MessageTarget* page) { page_ = page; }
  void SetLocalTimeSetter(SetLocalTime setter) { setLocalTime_ = std::move(setter); }
  // Started with "-init": ask for the unit's clock until it arrives.
  void SetInitPending(bool pending) { initPending_ = pending; }
  bool InitPending() const { return initPending_; }

  // Back to what is known of a unit that is not connected.
  void Reset();
  // Resets when the link is not open; the view asks at every refresh.
  void CheckLink();
  // One received frame (header, payload, CRC).
  void Dispatch(std::span<const std::uint8_t> frame);
  // A message of the link's reader: a frame is dispatched; a new connection
  // starts from nothing, so the unit is asked for everything again. False for
  // other messages.
  bool HandleLinkMessage(const platform::Message& message);

  // Polling timers, driven by the user-interface thread: start when the link
  // connects, stop when it is dropped, Tick as often as the owner likes.
  void StartPolling();
  void StopPolling();
  void Tick();
  bool Polling() const { return polling_; }

  // Records as last received.
  const StatusRecord& Status() const { return status_; }
  const UnitInfoRecord& Info() const { return info_; }
  const DiscStatusRecord& Disc() const { return disc_; }
  const ModuleBlock& Block() const { return block_; }
  bool HaveStatus() const { return haveStatus_; }
  bool HaveInfo() const { return haveInfo_; }
  bool ListComplete() const { return listComplete_; }
  std::uint8_t ListSequence() const { return listSequence_; }
  const std::vector<UnitEntry>& Modules() const { return modules_; }
  const std::vector<UnitEntry>& Sources() const { return sources_; }

  // Look-ups for the user interface.
  std::string FirstName(bool moduleList, int slot, int input) const;
  std::string SecondName(bool moduleList, int slot, int input) const;
  const UnitEntry* EntryByTag(std::uint32_t tag) const;
  const UnitEntry* NthModule(std::size_t n) const;
  bool SetTag(bool moduleList, int slot, int input, std::uint32_t tag);

  // Commands. Each returns whether the frame went out whole.
  // The value command 20 carries for a wanted volume (tenths of a dB).
  std::int16_t QuantiseVolume(int wanted) const;
  // Sends only when the quantised value differs from the kept volume.
  bool SetVolume(int wanted);
  bool VolumeUp() { return SetVolume(status_.volume + status_.volumeStep); }
  bool VolumeDown() { return SetVolume(status_.volume - status_.volumeStep); }
  // "%5.1lfdB" of the kept volume.
  std::string VolumeText() const;
  bool TogglePower();
  bool ToggleMute(bool muteIsFade);
  bool TogglePolarity();
  // bit 0 "Fixed 35 Volt", bit 1 "Fixed current".
  bool ToggleFixedOutput(std::uint16_t bit);
  bool SetGroup(int group);
  bool SetBitResolution(int bits);
  bool RoomCorrectionOff();
  bool RoomCorrectionPreset(int preset);
  bool SelectSource(int slot, int input);
  bool AssignButton(int button, int slot, int input);
  bool CdPlay(int track);
  bool Cd(CdAction action);
  bool HardwareKey(bool up);
  bool LogoTapped();
  bool SetUnitClock(const platform::LocalTime& now);
  bool RequestUnitClock();
  bool RequestModuleBlock(int address, int subAddress);
  bool WriteModuleBlock(int address, int subAddress, std::span<const std::uint8_t> settings,
                        bool live);
  bool DefaultModule(int address, int subAddress);
  bool RestoreModule(int address, int subAddress);
  // A setup page's live value (commands 56, 63, 66, 67, 69, 70): the payload as is.
  bool SendLiveValue(std::uint16_t command, std::span<const std::uint8_t> payload);
  // Command 28 with the four output group masks, kept as the unit's once sent.
  bool SendGroupMasks(const std::array<std::uint8_t, 4>& masks);

 private:
  void PollStatus();
  void PollList();
  void Notify(std::uint32_t id, std::intptr_t wParam = 0);
  void NotifyPage(std::uint32_t id);
  void OnListEntry(std::span<const std::uint8_t> payload);
  void OnClock(std::span<const std::uint8_t> payload);
  std::vector<UnitEntry>& List(bool moduleList) { return moduleList ? modules_ : sources_; }
  const UnitEntry* Find(bool moduleList, int slot, int input) const;

  RemoteLink& link_;
  platform::Clock& clock_;
  platform::MessageTarget* view_ = nullptr;
  platform::MessageTarget* page_ = nullptr;
  SetLocalTime setLocalTime_;
  bool initPending_ = false;

  std::array<std::uint8_t, StatusRecord::kSize> statusBytes_{};
  StatusRecord status_;
  UnitInfoRecord info_;
  DiscStatusRecord disc_;
  ModuleBlock block_;
  bool haveStatus_ = false;
  bool haveInfo_ = false;
  bool listComplete_ = false;
  std::uint8_t listSequence_ = 0;
  std::vector<UnitEntry> modules_;
  std::vector<UnitEntry> sources_;

  bool polling_ = false;
  std::uint64_t statusDue_ = 0;
  std::uint64_t listDue_ = 0;
};

}  // namespace remote::link
