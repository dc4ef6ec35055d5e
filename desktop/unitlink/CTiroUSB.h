#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

#include "platform/CObject.h"
#include "platform/DeviceIo.h"
#include "protocol/unit/Frame.h"

namespace desktop::unitlink {

// The desktop's only way to the unit: one command frame per exchange, each an
// open, one device-control call and a close under one lock.
class CTiroUSB : public platform::CObject {
 public:
  // A null backend means the platform's default, looked up at first use.
  explicit CTiroUSB(platform::DeviceIo* io = nullptr);
  ~CTiroUSB() override = default;
  CTiroUSB(const CTiroUSB&) = delete;
  CTiroUSB& operator=(const CTiroUSB&) = delete;

  const char* GetRuntimeClassName() const override { return "CTiroUSB"; }

  // The name is set before any thread uses the transport and stays the same
  // after (the sheet sets the same name before every discovery), so the
  // presence test reads it without the lock. A different name later is refused.
  virtual void SetDeviceName(const char* name);
  // Opens and closes the device; takes no lock, so it answers while an
  // exchange of another thread is in progress.
  virtual bool IsDevicePresent();
  // Sends one frame; `reply` (64 bytes, may be null) is cleared once the device
  // is open and is left untouched when the open fails.
  virtual bool SendCommand(std::uint8_t* reply, std::uint8_t code, std::uint8_t module,
                           std::uint8_t arg1, std::uint8_t arg2, std::uint8_t arg3,
                           std::size_t dataLength, const std::uint8_t* data);
  virtual bool StartHost();
  virtual bool EraseHost();
  virtual bool EraseBoot();
  virtual bool RequestDisplayRow();
  virtual bool BeginDownload();
  virtual bool EndDownload();
  // `block` is laid out like a frame: address at 6, byte count at 10, data at 12.
  virtual bool WriteDownloadBlock(const std::uint8_t* block);
  virtual bool SetLedZEL520Front(std::uint8_t value);
  virtual bool SetLedZEL520Rear(std::uint8_t value);
  virtual bool SetLedTWR520(std::uint8_t value);
  virtual bool SetJovValue(std::uint8_t module, std::uint8_t value);
  virtual bool SetBrightnessOn(std::uint8_t value);
  virtual bool SetBrightnessOff(std::uint8_t value);
  virtual bool SetBrightnessAlternate(std::uint8_t value);
  virtual bool SetContrast(std::uint8_t value);
  virtual bool SetPeakmeterDelay(std::uint8_t value);
  // Copies the 52 descriptor bytes; `out` is not touched when the exchange fails.
  virtual bool ReadBootDescriptor(std::uint8_t* out);
  // Clears the caller's 64 bytes and receives the whole reply frame into them.
  virtual bool ReadDisplayLevels(std::uint8_t* out);
  virtual bool SetDisplayValueA3(std::uint8_t value);
  // Copies the 40 record bytes; `out` is not touched when the exchange fails.
  virtual bool ReadProcessorRecord(std::uint8_t module, std::uint8_t index, std::uint8_t* out);
  virtual bool BeginCardDownload(std::uint8_t module, const std::uint8_t* data12);
  // `block` is laid out like a frame: length at 1, data at 6.
  virtual bool WriteCardBlock(std::uint8_t module, std::uint8_t index, const std::uint8_t* block);
  virtual bool EndCardDownload(std::uint8_t module, std::uint8_t index);
  virtual bool CardCommandA8(std::uint8_t module, std::uint8_t value);
  virtual bool WriteBankRecord(std::uint8_t module, std::uint8_t index, const std::uint8_t* data28);
  virtual bool SetEqualizerCurve(std::uint8_t module, std::uint8_t curve, std::uint16_t t1,
                                 std::uint16_t t2, std::uint16_t t3, std::uint16_t t4,
                                 bool selected);
  virtual bool BtModuleInit(bool start, std::uint32_t value);
  // Sends the word's low byte, a zero, then the first `length` - 2 entry bytes.
  virtual bool WriteTableEntry(std::uint8_t module, std::uint8_t arg1, std::uint16_t word,
                               std::uint8_t arg2, std::uint8_t arg3, const std::uint8_t* entry,
                               std::size_t length);

  const std::string& DeviceName() const { return deviceName_; }
  std::uint8_t DefaultAddress() const { return defaultAddress_; }
  void SetDefaultAddress(std::uint8_t address) { defaultAddress_ = address; }
  // Tests and tools choose the backend; null means the platform default.
  void SetDeviceIo(platform::DeviceIo* io);

 private:
  platform::DeviceIo& Io();
  bool Simple(std::uint8_t code, std::uint8_t module = 0, std::uint8_t arg2 = 0);

  std::string deviceName_;  // written once, before other threads start
  bool nameSet_ = false;
  mutable std::mutex lock_;
  std::array<std::uint8_t, protocol::unit::kFrameSize> request_{};
  std::uint8_t defaultAddress_ = 0;
  platform::DeviceIo* io_;
};

// The program's one transport object.
extern CTiroUSB theTiroUSB;

}  // namespace desktop::unitlink
