// Command codes and frame layout, typed from the unit's command tables.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

#include "protocol/unit/Frame.h"
#include "protocol/unit/UnitCommand.h"

namespace protocol::unit {
namespace {

struct CodeRow {
  const char* name;
  UnitCommand command;
  int code;
};

constexpr CodeRow kCodes[] = {
    {"read module descriptor", UnitCommand::kReadDescriptor, 2},
    {"read one settings chunk", UnitCommand::kReadSettings, 8},
    {"read real-time clock", UnitCommand::kReadClock, 11},
    {"read one display row", UnitCommand::kReadDisplayRow, 17},
    {"read boot software descriptor", UnitCommand::kReadBootDescriptor, 26},
    {"read the eight display settings", UnitCommand::kReadDisplayLevels, 33},
    {"read a processor's software record", UnitCommand::kReadProcessorRecord, 36},
    {"read module status", UnitCommand::kReadStatus, 45},
    {"begin the download", UnitCommand::kBeginDownload, 133},
    {"write one download block", UnitCommand::kWriteDownloadBlock, 134},
    {"end the download", UnitCommand::kEndDownload, 135},
    {"reset settings to defaults", UnitCommand::kResetSettings, 137},
    {"write one settings chunk / store", UnitCommand::kWriteSettings, 138},
    {"set real-time clock", UnitCommand::kSetClock, 140},
    {"start the new host software", UnitCommand::kStartHost, 141},
    {"erase the host software", UnitCommand::kEraseHost, 142},
    {"erase the boot software", UnitCommand::kEraseBoot, 143},
    {"display brightness (power on)", UnitCommand::kBrightnessOn, 146},
    {"ZEL520 blue LED (front)", UnitCommand::kLedZEL520Front, 147},
    {"TWR520 blue LED", UnitCommand::kLedTWR520, 148},
    {"display brightness (power off)", UnitCommand::kBrightnessOff, 150},
    {"display contrast", UnitCommand::kContrast, 151},
    {"peak meter delay", UnitCommand::kPeakmeterDelay, 152},
    {"write a board identity record", UnitCommand::kWriteBankRecord, 153},
    {"display brightness (alternate screen)", UnitCommand::kBrightnessAlternate, 155},
    {"four live 16-bit values", UnitCommand::kLiveValues, 157},
    {"one live 8-bit value", UnitCommand::kLiveEqualizerGain, 159},
    {"equalizer curve", UnitCommand::kEqualizerCurve, 160},
    {"ZEL520 blue LED (rear)", UnitCommand::kLedZEL520Rear, 162},
    {"ninth display value", UnitCommand::kDisplayValueA3, 163},
    {"begin a card download", UnitCommand::kBeginCardDownload, 165},
    {"write one card block", UnitCommand::kWriteCardBlock, 166},
    {"end the card download", UnitCommand::kEndCardDownload, 167},
    {"card command 168", UnitCommand::kCardCommandA8, 168},
    {"one live 8-bit value (JOV520)", UnitCommand::kJovValue, 170},
    {"four live 16-bit values, second set", UnitCommand::kLiveValues2, 171},
    {"one live 16-bit value", UnitCommand::kLiveValue, 172},
    {"Bluetooth module initialisation", UnitCommand::kBtModuleInit, 174},
    {"write one KLF310 table entry", UnitCommand::kWriteTableEntry, 175},
};

TEST(UnitCommandTest, EveryCodeIsTheNumberOfItsTable) {
  std::set<int> seen;
  for (const CodeRow& row : kCodes) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Code(row.command), row.code);
    EXPECT_TRUE(seen.insert(row.code).second) << "two commands share a code";
  }
}

TEST(UnitCommandTest, DeviceAndControlCode) {
  EXPECT_EQ(kControlCode, 0x226000u);
  EXPECT_STREQ(kDeviceName, "MRXUSBDevice0");
  EXPECT_STREQ(kDevicePathFormat, "\\\\.\\%s");
  EXPECT_EQ(kFrameSize, 64u);
  EXPECT_EQ(kMaxData, 58u);
}

TEST(RequestFrameTest, HeaderFieldsSitAtTheirOffsets) {
  const RequestHeader header{0x8A, 0, 0x05, 0x11, 0x22, 0x33};
  std::array<std::uint8_t, kFrameSize> out{};
  const std::uint8_t data[] = {0xAA, 0xBB, 0xCC};
  ASSERT_EQ(EncodeRequest(header, data, out), 9u);
  const std::uint8_t expected[] = {0x8A, 0x03, 0x05, 0x11, 0x22, 0x33, 0xAA, 0xBB, 0xCC};
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 9),
            std::vector<std::uint8_t>(std::begin(expected), std::end(expected)));

  Request request;
  ASSERT_EQ(DecodeRequest(std::span(expected), request), ParseResult::kComplete);
  EXPECT_EQ(request.header.code, 0x8A);
  EXPECT_EQ(request.header.length, 3);
  EXPECT_EQ(request.header.module, 0x05);
  EXPECT_EQ(request.header.arg1, 0x11);
  EXPECT_EQ(request.header.arg2, 0x22);
  EXPECT_EQ(request.header.arg3, 0x33);
  EXPECT_EQ(std::vector<std::uint8_t>(request.data.begin(), request.data.end()),
            (std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC}));
}

TEST(RequestFrameTest, SixtyDataBytesGoOutAsFiftyEightInSixtyFour) {
  std::vector<std::uint8_t> data(60);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  std::array<std::uint8_t, kFrameSize> out{};
  ASSERT_EQ(EncodeRequest({0x8A, 0, 0, 0, 0, 0}, data, out), 64u);
  EXPECT_EQ(out[1], 58);
  EXPECT_EQ(out[63], 57);
}

TEST(RequestFrameTest, APeerTakesOnlyAFrameThatSaysItsOwnLength) {
  struct Row {
    const char* name;
    std::vector<std::uint8_t> bytes;
    ParseResult result;
  };
  const Row rows[] = {
      {"header only", {0x02, 0, 0, 0, 0, 0}, ParseResult::kComplete},
      {"short of a header", {0x02, 0, 0}, ParseResult::kIncomplete},
      {"data missing", {0x8A, 2, 0, 0, 0, 0, 1}, ParseResult::kInvalid},
      {"data beyond the length", {0x8A, 1, 0, 0, 0, 0, 1, 2}, ParseResult::kInvalid},
      {"length above 58", std::vector<std::uint8_t>(6 + 59, 59), ParseResult::kInvalid},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Request request;
    EXPECT_EQ(DecodeRequest(row.bytes, request), row.result);
  }
}

TEST(ReplyFrameTest, CountAddressAndSubAddress) {
  std::array<std::uint8_t, kFrameSize> reply{};
  ReplyHeader{0x02, 0x34, 0x07, 0x05}.EncodeInto(reply);
  std::array<std::uint8_t, kFrameSize> expected{};
  expected[0] = 0x02;
  expected[1] = 0x34;
  expected[2] = 0x07;
  expected[3] = 0x05;
  EXPECT_EQ(reply, expected);
  const ReplyHeader back = ReplyHeader::Decode(expected);
  EXPECT_EQ(back.count, 0x34);
  EXPECT_EQ(back.address, 0x07);
  EXPECT_EQ(back.subAddress, 0x05);
  EXPECT_EQ(ReplyHeader::kData, 6u);
}

}  // namespace
}  // namespace protocol::unit
