#include "sim/UsbHandlers.h"

#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/UnitCommand.h"

namespace sim {

namespace {

using protocol::unit::Code;
using protocol::unit::UnitCommand;
using C = UnitCommand;
namespace h = handlers;

constexpr bool kUnit = true;
constexpr bool kModule = false;

// Every command the simulated unit takes, by code.
constexpr UsbHandlerRow kHandlers[] = {
    {Code(C::kReadDescriptor), h::ReadDescriptor, kModule},
    {Code(C::kReadSettings), h::ReadSettings, kModule},
    {Code(C::kWriteSettings), h::WriteSettings, kModule},
    {Code(C::kResetSettings), h::ResetSettings, kModule},
    {Code(C::kReadStatus), h::ReadStatus, kModule},
    {Code(C::kReadClock), h::ReadClock, kModule},
    {Code(C::kSetClock), h::SetClock, kModule},
    {Code(C::kEraseHost), h::EraseHost, kUnit},
    {Code(C::kEraseBoot), h::EraseBoot, kUnit},
    {Code(C::kBeginDownload), h::BeginDownload, kUnit},
    {Code(C::kWriteDownloadBlock), h::WriteDownloadBlock, kUnit},
    {Code(C::kEndDownload), h::EndDownload, kUnit},
    {Code(C::kStartHost), h::StartHost, kUnit},
    {Code(C::kBeginCardDownload), h::BeginCardDownload, kModule},
    {Code(C::kWriteCardBlock), h::WriteCardBlock, kModule},
    {Code(C::kEndCardDownload), h::EndCardDownload, kModule},
    {Code(C::kCardCommandA8), h::TakeAndIgnore, kModule},
    {Code(C::kReadBootDescriptor), h::ReadBootDescriptor, kUnit},
    {Code(C::kReadDisplayLevels), h::ReadDisplayLevels, kUnit},
    {Code(C::kBrightnessOn), h::SetDisplayLevel, kUnit},
    {Code(C::kBrightnessOff), h::SetDisplayLevel, kUnit},
    {Code(C::kBrightnessAlternate), h::SetDisplayLevel, kUnit},
    {Code(C::kContrast), h::SetDisplayLevel, kUnit},
    {Code(C::kPeakmeterDelay), h::SetDisplayLevel, kUnit},
    {Code(C::kLedTWR520), h::SetDisplayLevel, kUnit},
    {Code(C::kLedZEL520Front), h::SetDisplayLevel, kUnit},
    {Code(C::kLedZEL520Rear), h::SetDisplayLevel, kUnit},
    {Code(C::kDisplayValueA3), h::TakeAndIgnore, kUnit},  // nothing shows it
    {Code(C::kBtModuleInit), h::BtModuleInit, kUnit},
    {Code(C::kReadDisplayRow), h::ReadDisplayRow, kModule},
    {Code(C::kReadProcessorRecord), h::ReadProcessorRecord, kModule},
    {Code(C::kWriteBankRecord), h::WriteBankRecord, kModule},
    {Code(C::kWriteTableEntry), h::WriteTableEntry, kModule},
    {Code(C::kLiveValues), h::LiveValue, kModule},
    {Code(C::kLiveValues2), h::LiveValue, kModule},
    {Code(C::kLiveValue), h::LiveValue, kModule},
    {Code(C::kLiveEqualizerGain), h::LiveValue, kModule},
    {Code(C::kEqualizerCurve), h::LiveValue, kModule},
    {Code(C::kJovValue), h::LiveValue, kModule},
};

// What the boot software answers on its own.
constexpr std::uint8_t kBootSoftwareCodes[] = {
    Code(C::kReadDescriptor), Code(C::kReadBootDescriptor), Code(C::kEraseHost),
    Code(C::kEraseBoot),      Code(C::kBeginDownload),      Code(C::kWriteDownloadBlock),
    Code(C::kEndDownload),    Code(C::kStartHost),
};

}  // namespace

bool BootSoftwareTakes(std::uint8_t code, std::uint8_t module) {
  if (module != protocol::unit::kMainUnitAddress) return false;
  for (std::uint8_t c : kBootSoftwareCodes) {
    if (c == code) return true;
  }
  return false;
}

const UsbHandlerRow* FindUsbHandler(std::uint8_t code) {
  for (const UsbHandlerRow& row : kHandlers) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

}  // namespace sim
