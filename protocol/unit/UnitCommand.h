#pragma once

#include <cstdint>

namespace protocol::unit {

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

// The code as it travels in request byte 0.
constexpr std::uint8_t Code(UnitCommand command) {
  return static_cast<std::uint8_t>(command);
}

}  // namespace protocol::unit
