// The stream's frame and codes against bytes typed out by hand. The CRCs were
// worked out apart from this code, with Python's CRC-16/CCITT-FALSE:
//   binascii.crc_hqx(bytes.fromhex("9008000080000000"), 0xFFFF) == 0xBF9E
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "protocol/remote/Crc16.h"
#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"

namespace protocol::remote {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(RemoteFrameTest, CrcIsTheCcittFalseCheckValue) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc16(std::span(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())),
            0x29B1);
}

// Frames as they are on the wire: magic 90 08, length, command, reserved,
// payload, CRC high byte first.
struct FrameCase {
  const char* name;
  std::uint16_t command;
  Bytes payload;
  Bytes wire;
};

const FrameCase kFrames[] = {
    {"EmptyRequest80", 0x80, {}, {0x90, 0x08, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0xBF, 0x9E}},
    {"StatusRequest", 0x9F, {}, {0x90, 0x08, 0x00, 0x00, 0x9F, 0x00, 0x00, 0x00, 0x70, 0xD7}},
    {"VolumeMinus2dB",
     20,
     {0xEC, 0xFF},
     {0x90, 0x08, 0x02, 0x00, 0x14, 0x00, 0x00, 0x00, 0xEC, 0xFF, 0x60, 0xC8}},
    {"GroupC", 27, {0x02}, {0x90, 0x08, 0x01, 0x00, 0x1B, 0x00, 0x00, 0x00, 0x02, 0x9A, 0x62}},
};

TEST(RemoteFrameTest, FramesMatchTheWireBytesBothWays) {
  for (const FrameCase& c : kFrames) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ((RemoteFrame{c.command, 0, c.payload}.Encode()), c.wire);
    RemoteFrame decoded;
    ASSERT_TRUE(RemoteFrame::Decode(c.wire, decoded));
    EXPECT_EQ(decoded.command, c.command);
    EXPECT_EQ(decoded.reserved, 0);
    EXPECT_EQ(decoded.payload, c.payload);
    EXPECT_EQ(Crc16(c.wire), 0) << "a good frame checks to zero, CRC included";
  }
}

TEST(RemoteFrameTest, DecodeRefusesWhatIsNotOneWholeGoodFrame) {
  const Bytes good = {0x90, 0x08, 0x02, 0x00, 0x14, 0x00, 0x00, 0x00, 0xEC, 0xFF, 0x60, 0xC8};
  struct Case {
    const char* name;
    Bytes bytes;
  };
  Bytes crcSwapped = good;  // the CRC sent low byte first
  std::swap(crcSwapped[10], crcSwapped[11]);
  Bytes badMagic = good;
  badMagic[1] = 0x09;
  Bytes longer = good;
  longer.push_back(0);
  const Case cases[] = {
      {"CrcLowByteFirst", crcSwapped},
      {"WrongMagic", badMagic},
      {"TrailingByte", longer},
      {"Truncated", Bytes(good.begin(), good.end() - 1)},
      {"ShorterThanAHeader", Bytes{0x90, 0x08, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoteFrame decoded;
    EXPECT_FALSE(RemoteFrame::Decode(c.bytes, decoded));
  }
}

TEST(RemoteFrameTest, FrameLimitsAreTheRemoteBuffers) {
  EXPECT_EQ(kMagic, 0x0890);
  EXPECT_EQ(kMagicFirst, 0x90);
  EXPECT_EQ(kMagicSecond, 0x08);
  EXPECT_EQ(kOffLength, 2u);
  EXPECT_EQ(kOffCommand, 4u);
  EXPECT_EQ(kOffReserved, 6u);
  EXPECT_EQ(kHeaderSize, 8u);
  EXPECT_EQ(kMaxFrame, 784u);
  EXPECT_EQ(kMaxPayload, 774u);
  EXPECT_EQ(kFrameTimeoutMs, 500u);
  EXPECT_EQ(kRequestBit, 0x80);
}

// Every code of the stream, typed from the command and record tables.
struct CodeCase {
  const char* name;
  std::uint16_t code;
  std::uint16_t wire;
};

const CodeCase kCommands[] = {
    {"FixedOutput", kCmdFixedOutput, 15},
    {"PowerOn", kCmdPowerOn, 16},
    {"PowerOff", kCmdPowerOff, 17},
    {"Mute", kCmdMute, 18},
    {"Unmute", kCmdUnmute, 19},
    {"Volume", kCmdVolume, 20},
    {"KeyDown", kCmdKeyDown, 21},
    {"Source", kCmdSource, 22},
    {"KeyUp", kCmdKeyUp, 23},
    {"Group", kCmdGroup, 27},
    {"LiveValue28", kCmdLiveValue28, 28},
    {"SetClock", kCmdSetClock, 30},
    {"AssignButton", kCmdAssignButton, 36},
    {"BitResolution", kCmdBitResolution, 38},
    {"Polarity", kCmdPolarity, 39},
    {"Fade", kCmdFade, 40},
    {"CdPlay", kCmdCdPlay, 41},
    {"CdStop", kCmdCdStop, 48},
    {"CdPause", kCmdCdPause, 49},
    {"CdEject", kCmdCdEject, 50},
    {"CdPrevious", kCmdCdPrevious, 51},
    {"CdNext", kCmdCdNext, 52},
    {"CdForward", kCmdCdForward, 53},
    {"CdRewind", kCmdCdRewind, 54},
    {"LiveValue56", kCmdLiveValue56, 56},
    {"RoomPreset", kCmdRoomPreset, 57},
    {"RoomCorrection", kCmdRoomCorrection, 58},
    {"WriteBlock", kCmdWriteBlock, 60},
    {"DefaultBlock", kCmdDefaultBlock, 61},
    {"RestoreBlock", kCmdRestoreBlock, 62},
    {"LiveValue63", kCmdLiveValue63, 63},
    {"LiveValue66", kCmdLiveValue66, 66},
    {"LiveValue67", kCmdLiveValue67, 67},
    {"LiveValue69", kCmdLiveValue69, 69},
    {"LiveValue70", kCmdLiveValue70, 70},
    {"Logo", kCmdLogo, 71},
    {"RequestClock", kReqClock, 0x9E},
    {"RequestStatus", kReqStatus, 0x9F},
    {"RequestInfo", kReqInfo, 0xA0},
    {"RequestListing", kReqListing, 0xA2},
    {"RequestBlock", kReqBlock, 0xBC},
};

const CodeCase kRecords[] = {
    {"WriteAck", kRecWriteAck, 1},        {"Clock", kRecClock, 30},
    {"Status", kRecStatus, 31},           {"Info", kRecInfo, 32},
    {"ListEntry", kRecListEntry, 34},     {"DiscStatus", kRecDiscStatus, 55},
    {"ModuleBlock", kRecModuleBlock, 60},
};

TEST(RemoteProtocolTest, EveryCommandAndRecordHasItsCode) {
  for (const CodeCase& c : kCommands) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.code, c.wire);
    // Where the code travels: frame offset 4, little-endian.
    const Bytes frame = RemoteFrame{c.code, 0, {}}.Encode();
    EXPECT_EQ(frame[4], c.wire & 0xFF);
    EXPECT_EQ(frame[5], c.wire >> 8);
  }
  for (const CodeCase& c : kRecords) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.code, c.wire);
  }
}

TEST(RemoteProtocolTest, RequestsAskForTheirRecordWithBit7) {
  const std::pair<std::uint16_t, std::uint16_t> requests[] = {
      {kReqClock, kRecClock},       {kReqStatus, kRecStatus},     {kReqInfo, kRecInfo},
      {kReqListing, kRecListEntry}, {kReqBlock, kRecModuleBlock},
  };
  for (const auto& [request, record] : requests) {
    SCOPED_TRACE(request);
    EXPECT_EQ(request & ~kRequestBit, record);
  }
}

TEST(RemoteProtocolTest, ServiceNamesAndCommandValues) {
  EXPECT_EQ(kServiceHardware, std::string_view("COM-HARDWARE"));
  EXPECT_EQ(kServiceConfig, std::string_view("COM-CONFIG"));
  EXPECT_EQ(kRoomCorrectionOff, 1);
  EXPECT_EQ(kRoomCorrectionOn, 2);
}

}  // namespace
}  // namespace protocol::remote
