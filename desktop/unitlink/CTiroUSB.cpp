#include "desktop/unitlink/CTiroUSB.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "protocol/unit/CardDownloadBegin.h"
#include "protocol/unit/DownloadBlock.h"
#include "protocol/unit/Frame.h"
#include "protocol/unit/LiveRecords.h"
#include "protocol/unit/ModuleDescriptor.h"
#include "protocol/unit/ProcessorRecord.h"
#include "protocol/unit/TableEntry.h"
#include "protocol/unit/UnitCommand.h"

namespace desktop::unitlink {

namespace pu = protocol::unit;
using pu::Code;
using pu::UnitCommand;

namespace {
using Header = pu::RequestHeader;
// Operations handed a buffer laid out like a frame find the block's data here.
constexpr std::size_t kFrameBlockCount = Header::kSize + pu::DownloadBlock::kCount;
}  // namespace

CTiroUSB theTiroUSB;

CTiroUSB::CTiroUSB(platform::DeviceIo* io) : io_(io) {}

platform::DeviceIo& CTiroUSB::Io() {
  return io_ != nullptr ? *io_ : platform::DefaultDeviceIo();
}

void CTiroUSB::SetDeviceIo(platform::DeviceIo* io) {
  std::lock_guard guard(lock_);
  io_ = io;
}

void CTiroUSB::SetDeviceName(const char* name) {
  const std::string_view next = name != nullptr ? name : "";
  if (nameSet_) {
    // Rewriting the name would race the presence test, which reads it unlocked.
    assert(next == deviceName_ && "the device name is set once");
    return;
  }
  deviceName_ = next;
  nameSet_ = true;
}

bool CTiroUSB::IsDevicePresent() {
  // Only opens and closes, so it runs outside the lock.
  platform::DeviceIo& io = Io();
  const auto handle = io.Open(deviceName_);
  if (handle == platform::DeviceIo::kInvalidHandle) return false;
  io.Close(handle);
  return true;
}

bool CTiroUSB::SendCommand(std::uint8_t* reply, std::uint8_t code, std::uint8_t module,
                           std::uint8_t arg1, std::uint8_t arg2, std::uint8_t arg3,
                           std::size_t dataLength, const std::uint8_t* data) {
  std::lock_guard guard(lock_);
  platform::DeviceIo& io = Io();
  const auto handle = io.Open(deviceName_);
  if (handle == platform::DeviceIo::kInvalidHandle) return false;

  Header header;
  header.code = code;
  header.length = static_cast<std::uint8_t>(std::min(dataLength, pu::kMaxData));
  header.module = module;
  header.arg1 = arg1;
  header.arg2 = arg2;
  header.arg3 = arg3;
  header.EncodeInto(request_);
  const std::size_t length = header.length;
  if (data != nullptr && dataLength != 0) std::memcpy(&request_[Header::kSize], data, length);

  std::span<std::uint8_t> out;
  if (reply != nullptr) {
    std::memset(reply, 0, pu::kFrameSize);
    out = std::span(reply, pu::kFrameSize);
  }
  std::uint32_t returned = 0;  // the count is not used: a short reply leaves zeros
  const bool ok = io.Control(handle, pu::kControlCode,
                             std::span(request_.data(), Header::kSize + length), out, &returned);
  io.Close(handle);
  return ok;
}

bool CTiroUSB::Simple(std::uint8_t code, std::uint8_t module, std::uint8_t arg2) {
  return SendCommand(nullptr, code, module, 0, arg2, 0, 0, nullptr);
}

bool CTiroUSB::StartHost() {
  return Simple(Code(UnitCommand::kStartHost), defaultAddress_);
}
bool CTiroUSB::EraseHost() {
  return Simple(Code(UnitCommand::kEraseHost), defaultAddress_);
}
bool CTiroUSB::EraseBoot() {
  return Simple(Code(UnitCommand::kEraseBoot), defaultAddress_);
}
bool CTiroUSB::RequestDisplayRow() {
  return Simple(Code(UnitCommand::kReadDisplayRow), defaultAddress_);
}
bool CTiroUSB::BeginDownload() {
  return Simple(Code(UnitCommand::kBeginDownload), defaultAddress_);
}
bool CTiroUSB::EndDownload() {
  return Simple(Code(UnitCommand::kEndDownload), defaultAddress_);
}

bool CTiroUSB::WriteDownloadBlock(const std::uint8_t* block) {
  // Only the low byte of the block's count is read, as the unit's driver did.
  const std::size_t length =
      static_cast<std::size_t>(block[kFrameBlockCount]) + pu::DownloadBlock::kHeaderSize;
  return SendCommand(nullptr, Code(UnitCommand::kWriteDownloadBlock), defaultAddress_, 0, 0, 0,
                     length, block + Header::kSize);
}

bool CTiroUSB::SetLedZEL520Front(std::uint8_t v) {
  return Simple(Code(UnitCommand::kLedZEL520Front), 0, v);
}
bool CTiroUSB::SetLedZEL520Rear(std::uint8_t v) {
  return Simple(Code(UnitCommand::kLedZEL520Rear), 0, v);
}
bool CTiroUSB::SetLedTWR520(std::uint8_t v) {
  return Simple(Code(UnitCommand::kLedTWR520), 0, v);
}
bool CTiroUSB::SetJovValue(std::uint8_t module, std::uint8_t v) {
  return Simple(Code(UnitCommand::kJovValue), module, v);
}
bool CTiroUSB::SetBrightnessOn(std::uint8_t v) {
  return Simple(Code(UnitCommand::kBrightnessOn), 0, v);
}
bool CTiroUSB::SetBrightnessOff(std::uint8_t v) {
  return Simple(Code(UnitCommand::kBrightnessOff), 0, v);
}
bool CTiroUSB::SetBrightnessAlternate(std::uint8_t v) {
  return Simple(Code(UnitCommand::kBrightnessAlternate), 0, v);
}
bool CTiroUSB::SetContrast(std::uint8_t v) {
  return Simple(Code(UnitCommand::kContrast), 0, v);
}
bool CTiroUSB::SetPeakmeterDelay(std::uint8_t v) {
  return Simple(Code(UnitCommand::kPeakmeterDelay), 0, v);
}
bool CTiroUSB::SetDisplayValueA3(std::uint8_t v) {
  return Simple(Code(UnitCommand::kDisplayValueA3), 0, v);
}

bool CTiroUSB::ReadBootDescriptor(std::uint8_t* out) {
  std::uint8_t reply[pu::kFrameSize] = {};
  if (!SendCommand(reply, Code(UnitCommand::kReadBootDescriptor), 0, 0, 0, 0, 0, nullptr)) {
    return false;
  }
  std::memcpy(out, reply + pu::ReplyHeader::kData, pu::ModuleDescriptor::kSize);
  return true;
}

bool CTiroUSB::ReadDisplayLevels(std::uint8_t* out) {
  std::memset(out, 0, pu::kFrameSize);
  return SendCommand(out, Code(UnitCommand::kReadDisplayLevels), 0, 0, 0, 0, 0, nullptr);
}

bool CTiroUSB::ReadProcessorRecord(std::uint8_t module, std::uint8_t index, std::uint8_t* out) {
  std::uint8_t reply[pu::kFrameSize] = {};
  if (!SendCommand(reply, Code(UnitCommand::kReadProcessorRecord), module, 0, index, 0, 0,
                   nullptr)) {
    return false;
  }
  std::memcpy(out, reply + pu::ReplyHeader::kData, pu::ProcessorRecord::kSize);
  return true;
}

bool CTiroUSB::BeginCardDownload(std::uint8_t module, const std::uint8_t* data12) {
  return SendCommand(nullptr, Code(UnitCommand::kBeginCardDownload), module, 0, 0, 0,
                     pu::CardDownloadBegin::kSize, data12);
}

bool CTiroUSB::WriteCardBlock(std::uint8_t module, std::uint8_t index, const std::uint8_t* block) {
  return SendCommand(nullptr, Code(UnitCommand::kWriteCardBlock), module, 0, index, 0,
                     block[Header::kLength], block + Header::kSize);
}

bool CTiroUSB::EndCardDownload(std::uint8_t module, std::uint8_t index) {
  return Simple(Code(UnitCommand::kEndCardDownload), module, index);
}

bool CTiroUSB::CardCommandA8(std::uint8_t module, std::uint8_t value) {
  return Simple(Code(UnitCommand::kCardCommandA8), module, value);
}

bool CTiroUSB::WriteBankRecord(std::uint8_t module, std::uint8_t index,
                               const std::uint8_t* data28) {
  return SendCommand(nullptr, Code(UnitCommand::kWriteBankRecord), module, 0, index, 0,
                     pu::BoardIdentity::kSize, data28);
}

bool CTiroUSB::SetEqualizerCurve(std::uint8_t module, std::uint8_t curve, std::uint16_t t1,
                                 std::uint16_t t2, std::uint16_t t3, std::uint16_t t4,
                                 bool selected) {
  pu::EqualizerCurveRecord record;
  record.curve = curve;
  record.selected = selected;
  record.times = {t1, t2, t3, t4};
  const auto data = record.Encode();
  return SendCommand(nullptr, Code(UnitCommand::kEqualizerCurve), module, 0, 0, 0, data.size(),
                     data.data());
}

bool CTiroUSB::BtModuleInit(bool start, std::uint32_t value) {
  pu::BtModuleInitRecord record;
  record.start = start;
  record.value = value;
  const auto data = record.Encode();
  return SendCommand(nullptr, Code(UnitCommand::kBtModuleInit), 0, 0, 0, 0, data.size(),
                     data.data());
}

bool CTiroUSB::WriteTableEntry(std::uint8_t module, std::uint8_t arg1, std::uint16_t word,
                               std::uint8_t arg2, std::uint8_t arg3, const std::uint8_t* entry,
                               std::size_t length) {
  std::uint8_t data[pu::kFrameSize] = {};
  length = std::min(length, pu::kMaxData);
  data[pu::TableEntry::kWord] = static_cast<std::uint8_t>(word);  // only the low byte counts
  if (entry != nullptr && length > pu::TableEntry::kEntry) {
    std::memcpy(data + pu::TableEntry::kEntry, entry, length - pu::TableEntry::kEntry);
  }
  return SendCommand(nullptr, Code(UnitCommand::kWriteTableEntry), module, arg1, arg2, arg3, length,
                     data);
}

}  // namespace desktop::unitlink
