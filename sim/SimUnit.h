#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "protocol/remote/ClockRecord.h"
#include "protocol/remote/DiscStatusRecord.h"
#include "protocol/remote/StatusRecord.h"
#include "protocol/remote/UnitInfoRecord.h"
#include "sim/ModuleModel.h"
#include "sim/Scenario.h"

namespace sim {

// One simulated MRX520: the state a user would see behind every link, and the
// unit's side of the USB command frames. Thread-safe: the device server, the
// network peers and tests may call it from their own threads.
class SimUnit {
 public:
  // A non-empty `stateFile` keeps the stored settings (and the rest of what the
  // unit remembers across power cycles) and is read back at construction.
  SimUnit(Scenario scenario, platform::Clock& clock, std::filesystem::path stateFile = {});
  SimUnit(const SimUnit&) = delete;
  SimUnit& operator=(const SimUnit&) = delete;

  // The device is in the device directory: not while restarting after an
  // erase or a start, nor while opens are refused.
  bool IsPresent();
  // One device-control call as the driver sees it, with the fault options
  // applied. `out` is the caller's reply buffer (empty when none).
  bool HandleControl(std::uint32_t code, std::span<const std::uint8_t> in,
                     std::span<std::uint8_t> out);

  // Views for tests and tools.
  std::vector<std::uint8_t> WorkingSettings(std::uint8_t address);
  std::vector<std::uint8_t> StoredSettings(std::uint8_t address);
  SoftwareVersion HostVersion();
  SoftwareVersion BootVersion();
  bool BtInitActive();
  std::uint64_t ExchangeCount();
  std::array<std::uint8_t, kProcessorRecordSize> ProcessorRecord(std::uint8_t address, int index);
  std::array<std::uint8_t, 48> TableEntry(std::uint8_t address, int index);
  std::array<DisplayLevel, kDisplayLevelCount> DisplayLevels();
  // Bytes written into the erased host or boot area by the last download.
  std::vector<std::uint8_t> FlashImage(bool boot);

  // Fault switches a test can flip while running.
  void SetFailEvery(unsigned n);
  void SetDelayMs(std::uint32_t ms);
  void SetEepromError(bool on);
  void RefuseOpensFor(std::uint32_t ms);

  platform::Clock& Clock() { return clock_; }

 private:
  struct Module {
    ModuleSpec setup;
    std::vector<std::uint8_t> defaults;
    std::vector<std::uint8_t> working;
    std::vector<std::uint8_t> stored;
    std::array<std::array<std::uint8_t, kProcessorRecordSize>, 2> processors{};
    std::array<std::array<std::uint8_t, 48>, 16> table{};
    // Card download in progress: begin-data of command 165 per processor index.
    std::array<std::array<std::uint8_t, 12>, 2> cardDownload{};
    std::array<bool, 2> cardDownloadActive{};
  };
  enum class FlashArea { kNone, kHost, kBoot };

  bool HandleFrame(std::span<const std::uint8_t> frame, std::span<std::uint8_t, 64> reply);
  bool Download(std::uint8_t code, std::span<const std::uint8_t> frame);
  bool CardDownload(Module& m, std::uint8_t code, std::span<const std::uint8_t> frame);
  void FillDescriptor(const Module& m, std::span<std::uint8_t> out) const;
  Module* FindModule(std::uint8_t address);
  void Restart(std::uint32_t ms);
  DisplayContent CurrentDisplay();
  void Save();
  void Load();

  std::mutex mutex_;
  platform::Clock& clock_;
  Scenario scenario_;
  std::filesystem::path stateFile_;
  std::map<std::uint8_t, Module> modules_;
  std::array<DisplayLevel, kDisplayLevelCount> display_{};
  std::int64_t rtcOffset_ = 0;  // seconds the unit's clock is ahead of the host's
  bool btInit_ = false;
  std::uint64_t exchanges_ = 0;
  std::uint64_t absentUntil_ = 0;
  std::uint64_t refuseUntil_ = 0;
  // Main unit download: which area is erased, the bytes written there.
  FlashArea erased_ = FlashArea::kNone;
  bool downloading_ = false;
  bool downloadEnded_ = false;
  std::vector<std::uint8_t> hostFlash_;
  std::vector<std::uint8_t> bootFlash_;

  // ---------------------------------------------------------------------------
  // The unit's side of the remote's Bluetooth stream. It shows the same unit as
  // USB: the volume step and every module block are the settings images USB
  // reads and writes, the clock is the same clock.
 public:
  std::uint16_t SerialNumber();
  // Records the unit sends, as payloads.
  std::array<std::uint8_t, protocol::remote::StatusRecord::kSize> RemoteStatus();
  std::array<std::uint8_t, protocol::remote::UnitInfoRecord::kSize> RemoteInfo();
  // The CD drive as it is now (its time runs on the unit's clock).
  std::array<std::uint8_t, protocol::remote::DiscStatusRecord::kSize> RemoteDisc();
  std::array<std::uint8_t, protocol::remote::ClockRecord::kSize> RemoteClock();
  // The module and source listing: forget-all, every entry, the closing count.
  std::vector<std::vector<std::uint8_t>> RemoteListing();
  // Record 60 for header bits 0-4; false when no such module has settings.
  bool RemoteModuleBlock(std::uint16_t header, std::vector<std::uint8_t>& payload);
  // An order of the remote's command table (block writes included); false
  // when the unit does not take it.
  bool ApplyRemoteCommand(std::uint16_t command, std::span<const std::uint8_t> payload);

 private:
  struct CdDrive {
    enum class Mode { kStopped, kPlaying, kPaused };
    bool disc = true;
    Mode mode = Mode::kStopped;
    std::uint8_t track = 1;
    std::uint64_t elapsedMs = 0;  // in the current track, up to `since`
    std::uint64_t since = 0;      // clock time of the last play or resume
  };
  struct RemoteUnitState {
    bool power = true;
    std::int16_t volume = -300;
    bool muted = false;
    bool fadedOut = false;
    bool polarityInverted = false;
    std::uint8_t truncation = 0;  // 24 - output bits
    std::uint8_t group = 0;
    std::uint8_t sourceSlot = 0;
    std::uint8_t sourceInput = 0;
    std::array<std::array<std::uint8_t, 2>, 6> buttons{};
    std::uint16_t fixedOutput = 0;  // bits 0-1 of outputFlags
    bool roomCorrection = false;
    std::uint8_t roomPreset = 0;
    std::array<std::uint8_t, 4> groupMasks = {0x03, 0x0C, 0x30, 0xC0};
    CdDrive cd;
  };
  struct Source {
    std::uint8_t slot;
    std::uint8_t input;
    std::uint8_t type;
    std::string name;
  };
  std::vector<Source> RemoteSources();
  bool IsSource(std::uint8_t slot, std::uint8_t input);
  std::int16_t QuantisedVolume(int wanted);
  void SettleCd();
  bool ApplyBlockCommand(std::uint16_t command, std::span<const std::uint8_t> payload);

  RemoteUnitState remote_;
  bool remoteButtonsSet_ = false;
};

// The flash areas a download may write: the host image lives in 0x10000-0x8FFFF,
// the boot image in 0x0000-0x7FFF.
inline constexpr std::uint32_t kHostFlashStart = 0x10000;
inline constexpr std::uint32_t kHostFlashEnd = 0x90000;
inline constexpr std::uint32_t kBootFlashStart = 0x0000;
inline constexpr std::uint32_t kBootFlashEnd = 0x8000;
// How long the unit is gone while it starts new host software.
inline constexpr std::uint32_t kStartRestartMs = 1500;

}  // namespace sim
