#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "protocol/klf/KlfMessage.h"
#include "protocol/remote/ClockRecord.h"
#include "protocol/remote/DiscStatusRecord.h"
#include "protocol/remote/StatusRecord.h"
#include "protocol/remote/UnitInfoRecord.h"
#include "protocol/unit/DisplayLevels.h"
#include "protocol/unit/Frame.h"
#include "protocol/unit/ProcessorRecord.h"
#include "protocol/unit/TableEntry.h"
#include "sim/Scenario.h"
#include "sim/SourceList.h"
#include "sim/UnitState.h"

namespace sim {

// One simulated MRX520: the state a user would see behind every link, and the
// unit's side of the USB command frames. Thread-safe: the device server, the
// network peers and tests may call it from their own threads.
class SimUnit {
 public:
  // A non-empty `stateFile` keeps the stored settings (and the rest of what the
  // unit remembers across power cycles) and is read back at construction.
  // A state file that is there but cannot be read whole is left untouched: the
  // unit starts from the scenario, saves nothing, and StateError says why.
  SimUnit(Scenario scenario, platform::Clock& clock, std::filesystem::path stateFile = {});
  SimUnit(const SimUnit&) = delete;
  SimUnit& operator=(const SimUnit&) = delete;

  // Ends every exchange at once from now on, a delayed one included: the
  // simulator is stopping.
  void Shutdown() { stopping_ = true; }

  // Why the state file could not be read; empty when it was, or was not there.
  const std::string& StateError() const { return stateError_; }
  // Saves the state file now; false with `error` when it cannot be (or must
  // not be, see StateError). True when the unit keeps no state file.
  bool SaveState(std::string& error);

  // The device is in the device directory: not while restarting after an
  // erase or a start, nor while opens are refused.
  bool IsPresent();
  // One device-control call as the driver sees it, with the fault options
  // applied. `out` is the caller's reply buffer (empty when none).
  bool HandleControl(std::uint32_t code, std::span<const std::uint8_t> in,
                     std::span<std::uint8_t> out);
  // The answer to the exchange just handled is lost on the way back (the
  // drop-every fault, or a silent module): the driver hears nothing.
  bool AnswerLost();

  // Views for tests and tools.
  std::vector<std::uint8_t> WorkingSettings(std::uint8_t address);
  std::vector<std::uint8_t> StoredSettings(std::uint8_t address);
  SoftwareVersion HostVersion();
  SoftwareVersion BootVersion();
  bool BtInitActive();
  std::uint64_t ExchangeCount();
  std::array<std::uint8_t, protocol::unit::ProcessorRecord::kSize> ProcessorRecord(
      std::uint8_t address, int index);
  std::array<std::uint8_t, protocol::unit::TableEntry::kEntrySize> TableEntry(std::uint8_t address,
                                                                              int index);
  std::array<protocol::unit::DisplayLevel, protocol::unit::DisplayLevels::kCount> DisplayLevels();
  // Bytes written into the erased host or boot area by the last download.
  std::vector<std::uint8_t> FlashImage(bool boot);

  // Fault switches a test can flip while running.
  void SetFailEvery(unsigned n);
  void SetDelayMs(std::uint32_t ms);
  void SetEepromError(bool on);
  void RefuseOpensFor(std::uint32_t ms);
  // Ends the process abruptly, as a power cut would, once an erase has been
  // taken (block 0) or once the given block of a download has been written
  // (counted from 1 after each begin). What was saved at the erase is all
  // that survives.
  void CutPowerAtBlock(std::uint32_t block);
  // The same for a QVO520 processor's download (block counted from 1 after
  // each begin), a KLF310 card's transfers (software blocks and curve
  // messages, counted from 1 since start) and the remote's stored block
  // writes (counted from 1 since start).
  void CutPowerAtCardBlock(std::uint32_t block);
  void CutPowerAtKlfBlock(std::uint32_t block);
  void CutPowerAtRemoteBlock(std::uint32_t block);
  // The same once the N-th settings write frame is taken (a chunk or the
  // store frame that follows them, counted from 1 since start): a cut among
  // a module's chunks leaves its stored copy as it was.
  void CutPowerAtSettingsWrite(std::uint32_t frame);

  platform::Clock& Clock() { return clock_; }

 private:
  bool HandleFrame(std::span<const std::uint8_t> frame,
                   std::span<std::uint8_t, protocol::unit::kFrameSize> reply);
  ModuleState* FindModule(std::uint8_t address) { return state_.FindModule(address); }
  bool ReachedPowerCut(std::uint8_t code);
  // Writes the state file; false (said on standard error) when it cannot.
  [[nodiscard]] bool Save();
  // Ends the process at once, as a power cut: only what was saved survives.
  [[noreturn]] static void PowerCut();

  std::mutex mutex_;
  std::atomic<bool> stopping_{false};
  platform::Clock& clock_;
  std::filesystem::path stateFile_;
  std::string stateError_;
  UnitState state_;
  // What the state file holds since the last save that worked.
  std::string saved_;
  std::optional<std::uint32_t> powerCutAtBlock_;
  std::optional<std::uint32_t> cardPowerCutAtBlock_;
  std::uint32_t cardBlocks_ = 0;  // since the last card download begin
  std::optional<std::uint32_t> klfPowerCutAtBlock_;
  std::uint32_t klfBlocks_ = 0;
  std::optional<std::uint32_t> remotePowerCutAtBlock_;
  std::uint32_t remoteBlocks_ = 0;
  std::optional<std::uint32_t> settingsPowerCutAt_;
  std::uint32_t settingsWrites_ = 0;
  // The exchange just handled went to the silent module.
  bool silentAnswer_ = false;

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
  using Source = SourceEntry;
  std::vector<Source> RemoteSources();
  bool IsSource(std::uint8_t slot, std::uint8_t input);
  std::int16_t QuantisedVolume(int wanted);
  void SettleCd();
  bool ApplyBlockCommand(std::uint16_t command, std::span<const std::uint8_t> payload);
  bool ApplyDisplayBlock(std::uint16_t command, std::span<const std::uint8_t> payload);

  // ---------------------------------------------------------------------------
  // The KLF310 cards' own network side: what their TCP ports read and change.
 public:
  struct KlfCard {
    std::uint8_t address = 0;
    std::array<std::uint8_t, 4> ip{};  // from the card's stored settings
  };
  // Every KLF310 card on the unit's bus.
  std::vector<KlfCard> KlfCards();
  // Gives the card another IPv4 address in its working and stored settings,
  // and saves them; false when there is no such card.
  bool KlfMoveCard(std::uint8_t address, const std::array<std::uint8_t, 4>& ip);
  // Bins of one channel's curve; false for a range the card does not have.
  bool KlfReadBins(std::uint8_t address, const protocol::klf::CurveRange& range,
                   std::vector<protocol::klf::CurveBin>& out);
  // A curve transfer in progress on one connection: the channel's curve as
  // its messages so far leave it. It belongs to the connection, so a
  // connection that ends without the last message takes it along, and one
  // that ends late cannot touch the transfer a new connection started.
  struct KlfTransfer {
    bool started = false;
    std::uint16_t channel = 0;
    std::vector<protocol::klf::CurveBin> curve;
  };
  // Takes the bins of one message of a transfer. They are held in `transfer`
  // and go into the curve (and the state file) with the transfer's `last`
  // message, so a curve is only ever old or new throughout.
  bool KlfWriteBins(std::uint8_t address, const protocol::klf::CurveRange& range,
                    std::span<const protocol::klf::CurveBin> bins, bool last,
                    KlfTransfer& transfer);
  // What the fault options make of the next request on a card's port; the
  // delay is taken here. kSilentTaken: the request is taken but its answer
  // never goes out; kLost from then on, as a card that has stopped answering.
  enum class KlfFault { kNone, kFail, kLost, kSilentTaken };
  KlfFault KlfRequestFault(bool updatePort = false);
  // The cards' ports are open (not while the refusal after start lasts).
  bool KlfListening();
  // A software block of a card's update was taken (counts for the power cut).
  void KlfBlockTaken();
  // The card starts the application just flashed: its version and date from
  // the stand-in's stamp at the first byte; an image without one leaves the
  // version as it was. False when the new version cannot be stored: the card
  // then keeps the old one.
  bool KlfStartApplication(std::uint8_t address, std::span<const std::uint8_t> flash);
  std::vector<protocol::klf::CurveBin> KlfCurve(std::uint8_t address, std::size_t channel);
  // The application the card's last update flashed; none: the factory one.
  std::optional<protocol::unit::Klf310VersionEntry> KlfApplication(std::uint8_t address);

 private:
  void CountKlfBlock();
  std::uint64_t klfRequests_ = 0;
  std::uint64_t klfUpdateRequests_ = 0;
  bool klfSilent_ = false;
  std::uint64_t klfRefuseUntil_ = 0;
};

}  // namespace sim
