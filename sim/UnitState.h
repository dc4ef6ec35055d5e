#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "protocol/klf/CurveBin.h"
#include "protocol/remote/UnitInfoRecord.h"
#include "protocol/unit/CardDownloadBegin.h"
#include "protocol/unit/DisplayLevels.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/TableEntry.h"
#include "sim/CdDrive.h"
#include "sim/Scenario.h"
#include "sim/cards/Qvo520Processors.h"

namespace sim {

// One module in a slot: its settings image three ways, and what the cards
// with more than an image keep.
struct ModuleState {
  ModuleRecord setup;
  std::vector<std::uint8_t> defaults;
  std::vector<std::uint8_t> working;
  std::vector<std::uint8_t> stored;  // the EEPROM
  std::array<cards::ProcessorBytes, 2> processors{};
  std::array<std::array<std::uint8_t, protocol::unit::TableEntry::kEntrySize>,
             protocol::unit::TableEntry::kEntryCount>
      table{};
  // Card download per processor: what arrived since command 165 (not kept
  // across a restart, like the card's own buffers).
  std::array<cards::CardDownload, 2> cardDownload{};
  // A KLF310 card: its sixteen correction curves, channel after channel (empty
  // for other cards), and the application version its last update flashed
  // (none: the one it left the factory with).
  std::vector<protocol::klf::CurveBin> curves;
  std::optional<protocol::unit::Klf310VersionEntry> klfApplication;
};

enum class FlashArea { kNone, kHost, kBoot };

// What the remote's stream changes that USB does not show.
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
  std::array<std::uint8_t, 4> groupMasks = protocol::remote::UnitInfoRecord::kDefaultGroupMasks;
  CdDrive cd;
};

// Everything one simulated unit is: the same state behind every link.
struct UnitState {
  Scenario scenario;
  std::map<std::uint8_t, ModuleState> modules;
  protocol::unit::DisplayLevels display;
  std::int64_t rtcOffset = 0;  // seconds the unit's clock is ahead of the host's
  bool btInit = false;
  std::uint64_t exchanges = 0;
  std::uint64_t absentUntil = 0;
  std::uint64_t refuseUntil = 0;
  // Main unit download: which area is erased, the bytes written there. An
  // erased area survives a restart (it is kept in the state file): with the
  // host area erased only the boot software answers, until a download has
  // been ended and the new host software started.
  FlashArea erased = FlashArea::kNone;
  std::uint32_t blocksWritten = 0;  // since the last begin
  bool downloading = false;
  bool downloadEnded = false;
  std::vector<std::uint8_t> hostFlash;
  std::vector<std::uint8_t> bootFlash;
  RemoteUnitState remote;
  bool remoteButtonsSet = false;

  // A module on the unit's bus: cards beyond the slot count are not.
  ModuleState* FindModule(std::uint8_t address);
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
