#pragma once

#include <cstdint>

namespace desktop::unitlink {

// Command codes of the unit's USB frames (request byte 0).
enum class UnitCommand : std::uint8_t {
  kReadDescriptor = 0x02,
  kReadSettings = 0x08,
  kReadClock = 0x0B,
  kReadDisplayRow = 0x11,
  kReadBootDescriptor = 0x1A,
  kReadDisplayLevels = 0x21,
  kReadProcessorRecord = 0x24,
  kReadStatus = 0x2D,
  kBeginDownload = 0x85,
  kWriteDownloadBlock = 0x86,
  kEndDownload = 0x87,
  kResetSettings = 0x89,
  kWriteSettings = 0x8A,
  kSetClock = 0x8C,
  kStartHost = 0x8D,
  kEraseHost = 0x8E,
  kEraseBoot = 0x8F,
  kBrightnessOn = 0x92,
  kLedZEL520Front = 0x93,
  kLedTWR520 = 0x94,
  kBrightnessOff = 0x96,
  kContrast = 0x97,
  kPeakmeterDelay = 0x98,
  kWriteBankRecord = 0x99,
  kBrightnessAlternate = 0x9B,
  kLiveValues = 0x9D,
  kLiveEqualizerGain = 0x9F,
  kEqualizerCurve = 0xA0,
  kLedZEL520Rear = 0xA2,
  kDisplayValueA3 = 0xA3,
  kBeginCardDownload = 0xA5,
  kWriteCardBlock = 0xA6,
  kEndCardDownload = 0xA7,
  kCardCommandA8 = 0xA8,
  kJovValue = 0xAA,
  kLiveValues2 = 0xAB,
  kLiveValue = 0xAC,
  kBtModuleInit = 0xAE,
  kWriteTableEntry = 0xAF,
};

// The one device-control code of the unit's driver: device type 0x22, function
// 0x800, buffered, read access.
inline constexpr std::uint32_t kUnitControlCode = 0x226000;

// Request frame: code, length, module, arg1..arg3, then at most 58 data bytes.
inline constexpr std::size_t kFrameSize = 64;
inline constexpr std::size_t kHeaderSize = 6;
inline constexpr std::size_t kMaxData = 58;
inline constexpr std::size_t kOffCode = 0;
inline constexpr std::size_t kOffLength = 1;
inline constexpr std::size_t kOffModule = 2;
inline constexpr std::size_t kOffArg1 = 3;
inline constexpr std::size_t kOffArg2 = 4;
inline constexpr std::size_t kOffArg3 = 5;
// Reply frame: byte 1 valid-data count, 2 module address, 3 sub-address, data at 6.
inline constexpr std::size_t kReplyOffCount = 1;
inline constexpr std::size_t kReplyOffAddress = 2;
inline constexpr std::size_t kReplyOffSubAddress = 3;
inline constexpr std::size_t kReplyOffData = 6;

inline constexpr const char* kDeviceName = "MRXUSBDevice0";
inline constexpr const char* kDevicePathFormat = "\\\\.\\%s";

}  // namespace desktop::unitlink
