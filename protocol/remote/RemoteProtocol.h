#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The Bluetooth stream between the remote and the unit: frame layout, command
// and record codes, and the names of the unit's serial services.
namespace protocol::remote {

// Frame: u16 magic, u16 length, u16 command, u16 reserved, payload, CRC-16
// sent high byte first (the one big-endian field on this stream).
inline constexpr std::uint16_t kMagic = 0x0890;
inline constexpr std::uint8_t kMagicFirst = 0x90;
inline constexpr std::uint8_t kMagicSecond = 0x08;
inline constexpr std::size_t kOffMagic = 0;
inline constexpr std::size_t kOffLength = 2;
inline constexpr std::size_t kOffCommand = 4;
inline constexpr std::size_t kOffReserved = 6;
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kCrcSize = 2;
inline constexpr std::size_t kFrameOverhead = kHeaderSize + kCrcSize;
// The remote's receive buffer: nothing longer is ever accepted.
inline constexpr std::size_t kMaxFrame = 784;
inline constexpr std::size_t kMaxPayload = kMaxFrame - kFrameOverhead;  // 774
// A partial frame older than this is abandoned.
inline constexpr std::uint32_t kFrameTimeoutMs = 500;
// Bit 7 of a command asks for the record numbered by the low 7 bits.
inline constexpr std::uint16_t kRequestBit = 0x80;

// Orders the remote sends, and requests (kRequestBit | record).
enum RemoteCommand : std::uint16_t {
  kCmdFixedOutput = 15,
  kCmdPowerOn = 16,
  kCmdPowerOff = 17,
  kCmdMute = 18,
  kCmdUnmute = 19,
  kCmdVolume = 20,
  kCmdKeyDown = 21,
  kCmdSource = 22,
  kCmdKeyUp = 23,
  kCmdGroup = 27,
  kCmdLiveValue28 = 28,
  kCmdSetClock = 30,
  kCmdAssignButton = 36,
  kCmdBitResolution = 38,
  kCmdPolarity = 39,
  kCmdFade = 40,
  kCmdCdPlay = 41,
  kCmdCdStop = 48,
  kCmdCdPause = 49,
  kCmdCdEject = 50,
  kCmdCdPrevious = 51,
  kCmdCdNext = 52,
  kCmdCdForward = 53,
  kCmdCdRewind = 54,
  kCmdLiveValue56 = 56,
  kCmdRoomPreset = 57,
  kCmdRoomCorrection = 58,
  kCmdWriteBlock = 60,
  kCmdDefaultBlock = 61,
  kCmdRestoreBlock = 62,
  kCmdLiveValue63 = 63,
  kCmdLiveValue66 = 66,
  kCmdLiveValue67 = 67,
  kCmdLiveValue69 = 69,
  kCmdLiveValue70 = 70,
  kCmdLogo = 71,
  kReqClock = 0x9E,
  kReqStatus = 0x9F,
  kReqInfo = 0xA0,
  kReqListing = 0xA2,
  kReqBlock = 0xBC,
};

// Records the unit sends (codes after clearing kRequestBit).
enum RemoteRecord : std::uint16_t {
  kRecWriteAck = 1,
  kRecClock = 30,
  kRecStatus = 31,
  kRecInfo = 32,
  kRecListEntry = 34,
  kRecDiscStatus = 55,
  kRecModuleBlock = 60,
};

// Room correction command values.
inline constexpr std::uint8_t kRoomCorrectionOff = 1;
inline constexpr std::uint8_t kRoomCorrectionOn = 2;

// The unit's serial services: the frame stream, and the command line of its
// Bluetooth module. Units found by an inquiry are recorded with the first.
inline constexpr std::string_view kServiceHardware = "COM-HARDWARE";
inline constexpr std::string_view kServiceConfig = "COM-CONFIG";

}  // namespace protocol::remote
