// The card's TCP messages pinned against bytes written from their layouts;
// distinct values in every field, so a moved offset or code fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <vector>

#include "protocol/klf/KlfMessage.h"

namespace protocol::klf {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename C>
Bytes ToBytes(const C& c) {
  return Bytes(c.begin(), c.end());
}

CurveBin SampleBin() {  // encodes as 23 AD 5A 3C DD D4 4E 38
  CurveBin bin;
  bin.roomLevel = {0x123, 0x2AB, 0x3C5, 900};
  bin.amplitude = -35;
  bin.phase = -300;
  return bin;
}

TEST(KlfMessageTest, PortsAndBareCommands) {
  EXPECT_EQ(kUpdatePort, 4000);
  EXPECT_EQ(kCurvePort, 4010);
  struct Case {
    const char* name;
    std::uint16_t command;
    Bytes bytes;
  };
  const Case cases[] = {{"start boot software", command::kStartBoot, {0x01, 0x00, 0x00, 0x00}},
                        {"erase flash", command::kEraseFlash, {0x02, 0x00, 0x00, 0x00}},
                        {"end of download", command::kEndDownload, {0x04, 0x00, 0x00, 0x00}},
                        {"start software", command::kStartSoftware, {0x05, 0x00, 0x00, 0x00}}};
  for (const Case& c : cases) EXPECT_EQ(ToBytes(EncodeBare(c.command)), c.bytes) << c.name;
}

TEST(KlfMessageTest, WriteBlockPadsToFourWithFF) {
  const std::array<std::uint8_t, 5> data = {0x11, 0x22, 0x33, 0x44, 0x55};
  const Bytes expected = {0x03, 0x00, 0x10, 0x00,                           // command 3, length 16
                          0xF0, 0xFF, 0x03, 0x40, 0x08, 0x00, 0x00, 0x00,   // 0x4003FFF0, N 8, 0
                          0x11, 0x22, 0x33, 0x44, 0x55, 0xFF, 0xFF, 0xFF};  // data, padding
  EXPECT_EQ((WriteBlock{0x4003FFF0, data}.Encode()), expected);

  WriteBlock back;
  ASSERT_TRUE(WriteBlock::Decode(expected, back));
  EXPECT_EQ(back.address, 0x4003FFF0u);
  EXPECT_EQ(Bytes(back.data.begin(), back.data.end()),
            (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0xFF, 0xFF, 0xFF}));
}

TEST(KlfMessageTest, FullBlockFillsTheBufferExactly) {
  std::vector<std::uint8_t> data(WriteBlock::kMaxImageBytes);
  std::iota(data.begin(), data.end(), std::uint8_t{0});
  const Bytes message = WriteBlock{0x40010000, data}.Encode();
  ASSERT_EQ(message.size(), 1412u);
  EXPECT_EQ(Bytes(message.begin(), message.begin() + 12),
            (Bytes{0x03, 0x00, 0x80, 0x05, 0x00, 0x00, 0x01, 0x40, 0x78, 0x05, 0x00, 0x00}));
  EXPECT_EQ(message[12], 0);
  EXPECT_EQ(message[1411], static_cast<std::uint8_t>(1399));
  EXPECT_EQ(MessageHeader::kMaxPayload, 1408u);
}

TEST(KlfMessageTest, ReadCurveRequest) {
  const Bytes expected = {0x12, 0x00, 0x08, 0x00, 0x03, 0x00, 0x80, 0x00, 0x80, 0x07, 0x00, 0x00};
  EXPECT_EQ(ToBytes(EncodeReadCurve({3, 128, 1920, 0x1234})), expected);  // reserved stays 0
}

TEST(KlfMessageTest, WriteCurveHasFixedLengthAndFlags) {
  const CurveBin bins[] = {SampleBin(), CurveBin{}};
  const Bytes message = EncodeWriteCurve({2, 2, 0x0780, CurveRange::kFlagsLast}, bins);
  ASSERT_EQ(message.size(), 1292u);
  const Bytes head = {0x15, 0x00, 0x08, 0x05,                          // command 0x15, length 1288
                      0x02, 0x00, 0x02, 0x00, 0x80, 0x07, 0xCF, 0x01,  // ch 2, 2 bins, 1920, 0x01CF
                      0x23, 0xAD, 0x5A, 0x3C, 0xDD, 0xD4, 0x4E, 0x38,  // the sample bin
                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};  // an empty bin
  EXPECT_EQ(Bytes(message.begin(), message.begin() + 28), head);
  EXPECT_TRUE(std::all_of(message.begin() + 28, message.end(), [](auto b) { return b == 0; }));
  EXPECT_EQ(CurveRange::kFlagsMore, 0x00CF);
}

TEST(KlfMessageTest, CurveReplyCarriesBinsFromOffsetTwelve) {
  const CurveBin bins[] = {SampleBin()};
  const Bytes expected = {0x12, 0x00, 0x10, 0x00, 0x05, 0x00, 0x01, 0x00, 0x9F, 0x00,
                          0x00, 0x00, 0x23, 0xAD, 0x5A, 0x3C, 0xDD, 0xD4, 0x4E, 0x38};
  EXPECT_EQ(EncodeCurveReply({5, 1, 159, 0}, bins), expected);

  CurveRange range;
  std::vector<CurveBin> back;
  ASSERT_TRUE(DecodeCurveBins(expected, range, back));
  EXPECT_EQ(range, (CurveRange{5, 1, 159, 0}));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0], SampleBin());

  // A reply cut short of its count, or counting more than a message holds.
  EXPECT_FALSE(DecodeCurveBins(Bytes(expected.begin(), expected.end() - 1), range, back));
  Bytes tooMany = expected;
  tooMany[6] = 161;
  EXPECT_FALSE(DecodeCurveBins(tooMany, range, back));
}

TEST(KlfMessageTest, CheckMessageWaitsForTheDeclaredLength) {
  struct Case {
    const char* name;
    Bytes bytes;
    std::size_t extra;  // zero bytes appended after `bytes`
    MessageState state;
    std::size_t size;
  };
  const Case cases[] = {
      {"three header bytes", {0x12, 0x00, 0x08}, 0, MessageState::kIncomplete, 0},
      {"bare reply", {0x03, 0x00, 0x00, 0x00}, 0, MessageState::kComplete, 4},
      {"payload short by one", {0x12, 0x00, 0x08, 0x00}, 7, MessageState::kIncomplete, 12},
      {"the largest message", {0x03, 0x00, 0x80, 0x05}, 1408, MessageState::kComplete, 1412},
      {"one byte over the buffer", {0x03, 0x00, 0x81, 0x05}, 1409, MessageState::kInvalid, 0},
      {"length 0xFFFF", {0x12, 0x00, 0xFF, 0xFF}, 0, MessageState::kInvalid, 0},
  };
  for (const Case& c : cases) {
    Bytes in = c.bytes;
    in.resize(in.size() + c.extra, 0);
    std::size_t size = 0;
    EXPECT_EQ(CheckMessage(in, size), c.state) << c.name;
    if (c.state != MessageState::kInvalid && c.size != 0) {
      EXPECT_EQ(size, c.size) << c.name;
    }
  }
}

}  // namespace
}  // namespace protocol::klf
