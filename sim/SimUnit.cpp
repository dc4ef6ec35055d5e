#include "sim/SimUnit.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>

#include "platform/AtomicFile.h"
#include "platform/Bytes.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/UnitCommand.h"
#include "sim/CardModel.h"
#include "sim/StateFile.h"
#include "sim/UsbHandlers.h"
#include "sim/cards/DisplaySettings.h"
#include "sim/cards/Klf310Versions.h"

namespace sim {

namespace pu = protocol::unit;

namespace {
constexpr std::uint32_t kDelayStepMs = 20;
}  // namespace

SimUnit::SimUnit(Scenario scenario, platform::Clock& clock, std::filesystem::path stateFile)
    : clock_(clock), stateFile_(std::move(stateFile)) {
  state_.scenario = std::move(scenario);
  for (const ModuleRecord& moduleRecord : state_.scenario.modules) {
    ModuleState m;
    m.setup = moduleRecord;
    m.defaults = DefaultSettings(moduleRecord.type);
    if (moduleRecord.settingsLength) m.defaults.resize(*moduleRecord.settingsLength, 0);
    if (moduleRecord.type == pu::type::kKLF310) {
      if (moduleRecord.ip && m.defaults.size() >= pu::Klf310Image::kIp + moduleRecord.ip->size()) {
        std::copy(moduleRecord.ip->begin(), moduleRecord.ip->end(),
                  m.defaults.begin() + pu::Klf310Image::kIp);
      }
      m.curves.assign(pu::Klf310Image::kChannelCount * protocol::klf::CurveBin::kBinCount,
                      cards::DefaultCurveBin());
    }
    m.working = m.defaults;
    // The identity record is the unit's own: serial and delivery from the scenario.
    if (m.working.size() >= pu::IdentityRecord::kSize) {
      pu::IdentityRecord id;
      id.deliveryYear = moduleRecord.deliveryYear;
      id.deliveryMonth = moduleRecord.deliveryMonth;
      id.deliveryDay = moduleRecord.deliveryDay;
      id.serial = moduleRecord.serial;
      id.EncodeDateAndSerialInto(m.working);
    }
    m.stored = m.working;
    if (moduleRecord.type == pu::type::kQVO520 || moduleRecord.type == pu::type::kQVO520b) {
      m.processors[0] = cards::DefaultProcessorRecord(0);
      m.processors[1] = cards::DefaultProcessorRecord(1);
    }
    state_.modules[moduleRecord.address] = std::move(m);
  }
  state_.display = cards::DefaultDisplayLevels();
  state_.refuseUntil = clock_.Milliseconds() + state_.scenario.faults.refuseOpensMs;
  klfRefuseUntil_ = clock_.Milliseconds() + state_.scenario.klfFaults.refuseMs;
  const PowerCuts& cuts = state_.scenario.powerCuts;
  powerCutAtBlock_ = cuts.downloadBlock;
  cardPowerCutAtBlock_ = cuts.cardBlock;
  klfPowerCutAtBlock_ = cuts.klfBlock;
  remotePowerCutAtBlock_ = cuts.remoteBlock;
  settingsPowerCutAt_ = cuts.settingsWrite;
  if (!stateFile_.empty() && !LoadState(stateFile_, state_, stateError_)) {
    // What cannot be read is never overwritten: nothing is saved from now on.
    stateFile_.clear();
  }
}

bool SimUnit::SaveState(std::string& error) {
  std::lock_guard lock(mutex_);
  if (!stateError_.empty()) {
    error = stateError_;
    return false;
  }
  if (stateFile_.empty()) return true;
  std::string text = EncodeState(state_);
  if (!platform::WriteFileAtomically(stateFile_, text, error, 0600)) return false;
  saved_ = std::move(text);
  return true;
}

bool SimUnit::IsPresent() {
  std::lock_guard lock(mutex_);
  const auto now = clock_.Milliseconds();
  return now >= state_.absentUntil && now >= state_.refuseUntil;
}

bool SimUnit::HandleControl(std::uint32_t code, std::span<const std::uint8_t> in,
                            std::span<std::uint8_t> out) {
  std::uint32_t delay = 0;
  {
    std::lock_guard lock(mutex_);
    ++state_.exchanges;
    delay = state_.scenario.faults.delayMs;
    silentAnswer_ = false;
  }
  // In short steps, so that a stop does not wait for the whole delay.
  for (std::uint32_t left = delay; left != 0 && !stopping_;) {
    const std::uint32_t step = std::min<std::uint32_t>(left, kDelayStepMs);
    clock_.Sleep(step);
    left -= step;
  }
  if (stopping_) return false;

  std::lock_guard lock(mutex_);
  const auto now = clock_.Milliseconds();
  if (now < state_.absentUntil || now < state_.refuseUntil) return false;
  if (code != pu::kControlCode) return false;
  if (out.size() > pu::kFrameSize) return false;
  const unsigned failEvery = state_.scenario.faults.failEvery;
  if (failEvery != 0 && state_.exchanges % failEvery == 0) return false;
  if (const unsigned silent = state_.scenario.faults.silentModule; silent != 0) {
    pu::Request request;
    if (pu::DecodeRequest(in, request) == pu::ParseResult::kComplete &&
        request.header.module == silent) {
      silentAnswer_ = true;
      return false;
    }
  }

  std::array<std::uint8_t, pu::kFrameSize> reply{};
  if (!HandleFrame(in, reply)) return false;
  std::copy_n(reply.begin(), out.size(), out.begin());
  return true;
}

bool SimUnit::HandleFrame(std::span<const std::uint8_t> frame,
                          std::span<std::uint8_t, pu::kFrameSize> reply) {
  // A frame is the 6-byte header and as many data bytes as it says, 58 at most.
  pu::Request request;
  if (pu::DecodeRequest(frame, request) != pu::ParseResult::kComplete) return false;
  const UsbHandlerRow* row = FindUsbHandler(request.header.code);
  if (row == nullptr) return false;  // the unit does not know this command
  if (state_.erased == FlashArea::kHost &&
      !BootSoftwareTakes(request.header.code, request.header.module)) {
    return false;
  }

  Exchange exchange{state_, clock_, request, reply};
  if (!row->unitCommand) {
    exchange.module = FindModule(request.header.module);
    if (exchange.module == nullptr) return false;
    pu::ReplyHeader header;
    header.code = request.header.code;
    header.address = exchange.module->setup.address;
    header.subAddress = exchange.module->setup.subAddress;
    header.EncodeInto(reply);
  }
  // A change the unit cannot keep is no success: the caller must not report
  // it stored.
  const bool ok = row->handler(exchange) && (!exchange.changed || Save());
  if (ok && ReachedPowerCut(request.header.code)) PowerCut();
  return ok;
}

bool SimUnit::AnswerLost() {
  std::lock_guard lock(mutex_);
  const unsigned every = state_.scenario.faults.dropEvery;
  return silentAnswer_ || (every != 0 && state_.exchanges % every == 0);
}

std::vector<std::uint8_t> SimUnit::WorkingSettings(std::uint8_t address) {
  std::lock_guard lock(mutex_);
  auto it = state_.modules.find(address);
  return it == state_.modules.end() ? std::vector<std::uint8_t>{} : it->second.working;
}

std::vector<std::uint8_t> SimUnit::StoredSettings(std::uint8_t address) {
  std::lock_guard lock(mutex_);
  auto it = state_.modules.find(address);
  return it == state_.modules.end() ? std::vector<std::uint8_t>{} : it->second.stored;
}

SoftwareVersion SimUnit::HostVersion() {
  std::lock_guard lock(mutex_);
  return state_.modules.at(pu::kMainUnitAddress).setup.version;
}

SoftwareVersion SimUnit::BootVersion() {
  std::lock_guard lock(mutex_);
  return state_.scenario.bootVersion;
}

bool SimUnit::BtInitActive() {
  std::lock_guard lock(mutex_);
  return state_.btInit;
}

std::uint64_t SimUnit::ExchangeCount() {
  std::lock_guard lock(mutex_);
  return state_.exchanges;
}

std::array<std::uint8_t, pu::ProcessorRecord::kSize> SimUnit::ProcessorRecord(std::uint8_t address,
                                                                              int index) {
  std::lock_guard lock(mutex_);
  return state_.modules.at(address).processors.at(static_cast<std::size_t>(index));
}

std::array<std::uint8_t, pu::TableEntry::kEntrySize> SimUnit::TableEntry(std::uint8_t address,
                                                                         int index) {
  std::lock_guard lock(mutex_);
  return state_.modules.at(address).table.at(static_cast<std::size_t>(index));
}

std::array<pu::DisplayLevel, pu::DisplayLevels::kCount> SimUnit::DisplayLevels() {
  std::lock_guard lock(mutex_);
  return state_.display.levels;
}

std::vector<std::uint8_t> SimUnit::FlashImage(bool boot) {
  std::lock_guard lock(mutex_);
  return boot ? state_.bootFlash : state_.hostFlash;
}

void SimUnit::SetFailEvery(unsigned n) {
  std::lock_guard lock(mutex_);
  state_.scenario.faults.failEvery = n;
}

void SimUnit::SetDelayMs(std::uint32_t ms) {
  std::lock_guard lock(mutex_);
  state_.scenario.faults.delayMs = ms;
}

void SimUnit::SetEepromError(bool on) {
  std::lock_guard lock(mutex_);
  state_.scenario.faults.eepromError = on;
}

void SimUnit::RefuseOpensFor(std::uint32_t ms) {
  std::lock_guard lock(mutex_);
  state_.refuseUntil = clock_.Milliseconds() + ms;
}

void SimUnit::CutPowerAtBlock(std::uint32_t block) {
  std::lock_guard lock(mutex_);
  powerCutAtBlock_ = block;
}

void SimUnit::CutPowerAtCardBlock(std::uint32_t block) {
  std::lock_guard lock(mutex_);
  cardPowerCutAtBlock_ = block;
}

void SimUnit::CutPowerAtKlfBlock(std::uint32_t block) {
  std::lock_guard lock(mutex_);
  klfPowerCutAtBlock_ = block;
}

void SimUnit::CutPowerAtRemoteBlock(std::uint32_t block) {
  std::lock_guard lock(mutex_);
  remotePowerCutAtBlock_ = block;
}

void SimUnit::CutPowerAtSettingsWrite(std::uint32_t frame) {
  std::lock_guard lock(mutex_);
  settingsPowerCutAt_ = frame;
}

void SimUnit::PowerCut() {
  std::fflush(nullptr);
  raise(SIGKILL);
  std::abort();  // not reached: SIGKILL cannot be caught
}

bool SimUnit::ReachedPowerCut(std::uint8_t code) {
  if (code == pu::Code(pu::UnitCommand::kBeginCardDownload)) cardBlocks_ = 0;
  if (code == pu::Code(pu::UnitCommand::kWriteCardBlock) && cardPowerCutAtBlock_ &&
      ++cardBlocks_ == *cardPowerCutAtBlock_) {
    return true;
  }
  if (code == pu::Code(pu::UnitCommand::kWriteSettings) && settingsPowerCutAt_ &&
      ++settingsWrites_ == *settingsPowerCutAt_) {
    return true;
  }
  if (!powerCutAtBlock_) return false;
  if (*powerCutAtBlock_ == 0) {
    return code == pu::Code(pu::UnitCommand::kEraseHost) ||
           code == pu::Code(pu::UnitCommand::kEraseBoot);
  }
  return code == pu::Code(pu::UnitCommand::kWriteDownloadBlock) &&
         state_.blocksWritten == *powerCutAtBlock_;
}

bool SimUnit::Save() {
  if (stateFile_.empty()) return true;
  std::string error;
  std::string text = EncodeState(state_);
  if (!platform::WriteFileAtomically(stateFile_, text, error, 0600)) {
    std::fprintf(stderr, "mrx520-sim: cannot save state: %s\n", error.c_str());
    // What could not be kept is not kept: the unit goes back to what it
    // saved last, as a restart would find it, so no reading shows it taken.
    std::string ignored;
    if (!saved_.empty()) static_cast<void>(ParseState(saved_, stateFile_, state_, ignored));
    return false;
  }
  saved_ = std::move(text);
  return true;
}

}  // namespace sim
