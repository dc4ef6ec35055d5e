#pragma once

#include <cstdint>
#include <span>

#include "platform/Clock.h"
#include "protocol/unit/Frame.h"
#include "sim/UnitState.h"

namespace sim {

// One request frame as a handler sees it.
struct Exchange {
  UnitState& state;
  platform::Clock& clock;
  const protocol::unit::Request& request;
  std::span<std::uint8_t, protocol::unit::kFrameSize> reply;
  ModuleState* module = nullptr;  // the addressed module, for module commands
  bool changed = false;           // what the unit keeps across power cycles changed
};

// False: the exchange fails as the driver would report it.
using UsbHandler = bool (*)(Exchange& exchange);

struct UsbHandlerRow {
  std::uint8_t code;
  UsbHandler handler;
  // Unit commands go to address 0 and need no module; module commands are
  // refused for an address with no module on it.
  bool unitCommand;
};

// The handler of a command code; null for a code the unit does not know.
const UsbHandlerRow* FindUsbHandler(std::uint8_t code);

// While the host software is erased only the boot software runs: it tells
// what it is and takes a new download, and nothing else (no settings, clock
// or display, and no card is reached).
bool BootSoftwareTakes(std::uint8_t code, std::uint8_t module);

// Handlers by role, listed in the table of UsbHandlers.cpp.
namespace handlers {
bool ReadDescriptor(Exchange& x);
bool ReadSettings(Exchange& x);
bool WriteSettings(Exchange& x);
bool ResetSettings(Exchange& x);
bool ReadStatus(Exchange& x);
bool ReadClock(Exchange& x);
bool SetClock(Exchange& x);

bool EraseHost(Exchange& x);
bool EraseBoot(Exchange& x);
bool BeginDownload(Exchange& x);
bool WriteDownloadBlock(Exchange& x);
bool EndDownload(Exchange& x);
bool StartHost(Exchange& x);
bool BeginCardDownload(Exchange& x);
bool WriteCardBlock(Exchange& x);
bool EndCardDownload(Exchange& x);

bool ReadBootDescriptor(Exchange& x);
bool ReadDisplayLevels(Exchange& x);
bool SetDisplayLevel(Exchange& x);
bool ReadDisplayRow(Exchange& x);
bool TakeAndIgnore(Exchange& x);
bool BtModuleInit(Exchange& x);

bool ReadProcessorRecord(Exchange& x);
bool WriteBankRecord(Exchange& x);
bool WriteTableEntry(Exchange& x);
bool LiveValue(Exchange& x);
}  // namespace handlers

// The descriptor a module reports, into 52 bytes.
void FillDescriptor(const UnitState& state, const ModuleState& m, std::span<std::uint8_t> out);

}  // namespace sim
