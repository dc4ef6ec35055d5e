#include <gtest/gtest.h>

#include <functional>

#include "desktop/unitlink/CTiroUSB.h"
#include "tests/support/FakeDeviceIo.h"

namespace desktop::unitlink {
namespace {

using testing_support::FakeDeviceIo;

class CTiroUSBTest : public ::testing::Test {
 protected:
  CTiroUSBTest() : usb(&io) { usb.SetDeviceName("\\\\.\\MRXUSBDevice0"); }
  FakeDeviceIo io;
  CTiroUSB usb;
};

TEST_F(CTiroUSBTest, SendsHeaderAndDataThroughTheUnitControlCode) {
  const std::uint8_t data[] = {0xAA, 0xBB, 0xCC};
  ASSERT_TRUE(usb.SendCommand(nullptr, 0x8A, 5, 1, 2, 3, sizeof data, data));
  ASSERT_EQ(io.exchanges.size(), 1u);
  EXPECT_EQ(io.exchanges[0].code, 0x226000u);
  EXPECT_EQ(io.exchanges[0].request,
            (std::vector<std::uint8_t>{0x8A, 3, 5, 1, 2, 3, 0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(io.exchanges[0].outSize, 0u);
  EXPECT_EQ(io.openedPaths.back(), "\\\\.\\MRXUSBDevice0");
  EXPECT_EQ(io.openCount, 0) << "every exchange closes the device";
}

TEST_F(CTiroUSBTest, CutsDataAboveFiftyEightBytes) {
  std::vector<std::uint8_t> data(60);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(usb.SendCommand(nullptr, 0x8A, 0, 0, 0, 0, data.size(), data.data()));
  const auto& sent = io.exchanges[0].request;
  ASSERT_EQ(sent.size(), 64u);
  EXPECT_EQ(sent[1], 58);
  EXPECT_EQ(sent[63], 57) << "only the first 58 data bytes go out";
}

TEST_F(CTiroUSBTest, WithoutADeviceNothingIsSentAndNoReplyIsTouched) {
  io.present = false;
  std::uint8_t reply[64];
  std::memset(reply, 0xEE, sizeof reply);
  std::uint8_t record[52];
  std::memset(record, 0xEE, sizeof record);
  const std::uint8_t block[64] = {};
  EXPECT_FALSE(usb.SendCommand(reply, 2, 0, 0, 0, 0, 0, nullptr));
  EXPECT_FALSE(usb.IsDevicePresent());
  EXPECT_FALSE(usb.EraseHost());
  EXPECT_FALSE(usb.WriteDownloadBlock(block));
  EXPECT_FALSE(usb.ReadBootDescriptor(record));
  EXPECT_FALSE(usb.ReadProcessorRecord(1, 0, record));
  EXPECT_FALSE(usb.BtModuleInit(true, 1));
  EXPECT_TRUE(io.exchanges.empty());
  for (std::uint8_t b : reply) ASSERT_EQ(b, 0xEE);
  for (std::uint8_t b : record) ASSERT_EQ(b, 0xEE);
}

TEST_F(CTiroUSBTest, ReplyIsClearedOnceOpenEvenWhenTheCallFails) {
  io.controlSucceeds = false;
  std::uint8_t reply[64];
  std::memset(reply, 0xEE, sizeof reply);
  EXPECT_FALSE(usb.SendCommand(reply, 2, 0, 0, 0, 0, 0, nullptr));
  for (std::uint8_t b : reply) ASSERT_EQ(b, 0);
  EXPECT_EQ(io.exchanges[0].outSize, 64u);
}

TEST_F(CTiroUSBTest, WriteDownloadBlockOfFiftyTwoBytesSendsFiftyEight) {
  std::uint8_t block[64] = {};
  block[6] = 0x00, block[7] = 0x00, block[8] = 0x01, block[9] = 0x00;  // address 0x10000
  block[10] = 52;
  for (int i = 0; i < 52; ++i) block[12 + i] = static_cast<std::uint8_t>(0x40 + i);
  ASSERT_TRUE(usb.WriteDownloadBlock(block));
  const auto& sent = io.exchanges[0].request;
  ASSERT_EQ(sent.size(), 64u);
  EXPECT_EQ(sent[0], 0x86);
  EXPECT_EQ(sent[1], 58);
  EXPECT_EQ(std::vector<std::uint8_t>(sent.begin() + 6, sent.begin() + 12),
            (std::vector<std::uint8_t>{0, 0, 1, 0, 52, 0}));
  EXPECT_EQ(sent[12], 0x40);
  EXPECT_EQ(sent[63], 0x40 + 51);
}

// Every operation after SendCommand, with the frame it must produce.
struct OperationCase {
  const char* name;
  std::function<bool(CTiroUSB&)> call;
  std::vector<std::uint8_t> frame;  // header and data as sent
};

TEST_F(CTiroUSBTest, EveryOperationBuildsItsFrame) {
  std::uint8_t card[64] = {};
  card[1] = 4;
  card[6] = 9, card[7] = 8, card[8] = 7, card[9] = 6;
  const std::uint8_t begin12[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::uint8_t bank[28];
  for (int i = 0; i < 28; ++i) bank[i] = static_cast<std::uint8_t>(i + 1);
  const std::uint8_t entry[48] = {0x11, 0x22, 0x33};
  std::vector<std::uint8_t> bankFrame = {0x99, 28, 3, 0, 1, 0};
  bankFrame.insert(bankFrame.end(), bank, bank + 28);
  std::vector<std::uint8_t> tableFrame = {0xAF, 6, 11, 4, 0, 0, 1, 0, 0x11, 0x22, 0x33, 0};

  const OperationCase cases[] = {
      {"StartHost", [](CTiroUSB& u) { return u.StartHost(); }, {0x8D, 0, 0, 0, 0, 0}},
      {"EraseHost", [](CTiroUSB& u) { return u.EraseHost(); }, {0x8E, 0, 0, 0, 0, 0}},
      {"EraseBoot", [](CTiroUSB& u) { return u.EraseBoot(); }, {0x8F, 0, 0, 0, 0, 0}},
      {"RequestDisplayRow",
       [](CTiroUSB& u) { return u.RequestDisplayRow(); },
       {0x11, 0, 0, 0, 0, 0}},
      {"BeginDownload", [](CTiroUSB& u) { return u.BeginDownload(); }, {0x85, 0, 0, 0, 0, 0}},
      {"EndDownload", [](CTiroUSB& u) { return u.EndDownload(); }, {0x87, 0, 0, 0, 0, 0}},
      {"SetLedZEL520Front",
       [](CTiroUSB& u) { return u.SetLedZEL520Front(7); },
       {0x93, 0, 0, 0, 7, 0}},
      {"SetLedZEL520Rear",
       [](CTiroUSB& u) { return u.SetLedZEL520Rear(7); },
       {0xA2, 0, 0, 0, 7, 0}},
      {"SetLedTWR520", [](CTiroUSB& u) { return u.SetLedTWR520(7); }, {0x94, 0, 0, 0, 7, 0}},
      {"SetJovValue", [](CTiroUSB& u) { return u.SetJovValue(9, 7); }, {0xAA, 0, 9, 0, 7, 0}},
      {"SetBrightnessOn", [](CTiroUSB& u) { return u.SetBrightnessOn(7); }, {0x92, 0, 0, 0, 7, 0}},
      {"SetBrightnessOff",
       [](CTiroUSB& u) { return u.SetBrightnessOff(7); },
       {0x96, 0, 0, 0, 7, 0}},
      {"SetBrightnessAlternate",
       [](CTiroUSB& u) { return u.SetBrightnessAlternate(7); },
       {0x9B, 0, 0, 0, 7, 0}},
      {"SetContrast", [](CTiroUSB& u) { return u.SetContrast(7); }, {0x97, 0, 0, 0, 7, 0}},
      {"SetPeakmeterDelay",
       [](CTiroUSB& u) { return u.SetPeakmeterDelay(7); },
       {0x98, 0, 0, 0, 7, 0}},
      {"SetDisplayValueA3",
       [](CTiroUSB& u) { return u.SetDisplayValueA3(7); },
       {0xA3, 0, 0, 0, 7, 0}},
      {"ReadBootDescriptor",
       [](CTiroUSB& u) {
         std::uint8_t d[52];
         return u.ReadBootDescriptor(d);
       },
       {0x1A, 0, 0, 0, 0, 0}},
      {"ReadDisplayLevels",
       [](CTiroUSB& u) {
         std::uint8_t d[64];
         return u.ReadDisplayLevels(d);
       },
       {0x21, 0, 0, 0, 0, 0}},
      {"ReadProcessorRecord",
       [](CTiroUSB& u) {
         std::uint8_t d[40];
         return u.ReadProcessorRecord(2, 1, d);
       },
       {0x24, 0, 2, 0, 1, 0}},
      {"BeginCardDownload",
       [&](CTiroUSB& u) { return u.BeginCardDownload(2, begin12); },
       {0xA5, 12, 2, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
      {"WriteCardBlock",
       [&](CTiroUSB& u) { return u.WriteCardBlock(2, 1, card); },
       {0xA6, 4, 2, 0, 1, 0, 9, 8, 7, 6}},
      {"EndCardDownload",
       [](CTiroUSB& u) { return u.EndCardDownload(2, 1); },
       {0xA7, 0, 2, 0, 1, 0}},
      {"CardCommandA8", [](CTiroUSB& u) { return u.CardCommandA8(2, 5); }, {0xA8, 0, 2, 0, 5, 0}},
      {"WriteBankRecord", [&](CTiroUSB& u) { return u.WriteBankRecord(3, 1, bank); }, bankFrame},
      {"SetEqualizerCurve",
       [](CTiroUSB& u) { return u.SetEqualizerCurve(1, 5, 0x0102, 3, 4, 0x0506, true); },
       {0xA0, 10, 1, 0, 0, 0, 0x0A, 0x01, 0x02, 0x01, 3, 0, 4, 0, 0x06, 0x05}},
      {"BtModuleInit",
       [](CTiroUSB& u) { return u.BtModuleInit(true, 1); },
       {0xAE, 10, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
      {"WriteTableEntry",
       [&](CTiroUSB& u) { return u.WriteTableEntry(11, 4, 0x0301, 0, 0, entry, 6); }, tableFrame},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    io.exchanges.clear();
    ASSERT_TRUE(c.call(usb));
    ASSERT_EQ(io.exchanges.size(), 1u);
    EXPECT_EQ(io.exchanges[0].request, c.frame);
  }
}

TEST_F(CTiroUSBTest, ReadDisplayLevelsReceivesTheWholeFrame) {
  io.replies.push_back(testing_support::ReplyFrame({10, 0, 20}));
  std::uint8_t levels[64];
  std::memset(levels, 0xEE, sizeof levels);
  ASSERT_TRUE(usb.ReadDisplayLevels(levels));
  EXPECT_EQ(levels[1], 58);
  EXPECT_EQ(levels[6], 10);
  EXPECT_EQ(levels[8], 20);
  EXPECT_EQ(levels[63], 0);
}

}  // namespace
}  // namespace desktop::unitlink
