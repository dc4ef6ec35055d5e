#include <gtest/gtest.h>

#include "desktop/unitlink/UnitProtocol.h"
#include "protocol/unit/MainUnitImage.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "sim/SimDeviceIo.h"
#include "tests/support/FakeDeviceIo.h"

namespace desktop::unitlink {
namespace {

namespace pu = protocol::unit;
using testing_support::FakeDeviceIo;
using testing_support::ReplyFrame;

// Descriptor bytes for a reply: type, settings length, slot count.
std::vector<std::uint8_t> DescriptorBytes(std::uint8_t type, std::uint16_t settings,
                                          std::uint8_t slots = 0) {
  pu::DescriptorBytes d{};
  pu::ModuleDescriptor f;
  f.type = type;
  f.settingsLength = settings;
  f.slotCount = slots;
  f.EncodeInto(d);
  return {d.begin(), d.end()};
}

class UnitProtocolTest : public ::testing::Test {
 protected:
  UnitProtocolTest() : usb(&io) { usb.SetDeviceName("\\\\.\\MRXUSBDevice0"); }
  FakeDeviceIo io;
  CTiroUSB usb;
};

TEST_F(UnitProtocolTest, ReadsInFiftyEightByteChunksWithAZeroLengthLastChunk) {
  std::vector<std::uint8_t> image(2048, 0xEE);
  io.replies.push_back(ReplyFrame(std::vector<std::uint8_t>(58, 1)));
  io.replies.push_back(ReplyFrame(std::vector<std::uint8_t>(58, 2)));
  ASSERT_TRUE(ReadSettingsImage(usb, 3, 116, true, image));
  ASSERT_EQ(io.exchanges.size(), 3u);
  const std::uint8_t expected[3][6] = {
      {8, 0, 3, 1, 0, 58}, {8, 0, 3, 0, 1, 58}, {8, 0, 3, 0, 2, 0}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(io.exchanges[i].request, std::vector<std::uint8_t>(expected[i], expected[i] + 6));
    EXPECT_EQ(io.exchanges[i].outSize, 64u);
  }
  EXPECT_EQ(image[57], 1);
  EXPECT_EQ(image[58], 2);
  EXPECT_EQ(image[116], 0) << "the buffer is cleared before reading";
}

TEST_F(UnitProtocolTest, AFailedChunkEndsTheReadAndLeavesTheRestZero) {
  std::vector<std::uint8_t> image(2048);
  io.replies.push_back(ReplyFrame(std::vector<std::uint8_t>(58, 1)));
  io.failAt = {1};
  EXPECT_FALSE(ReadSettingsImage(usb, 0, 200, false, image));
  EXPECT_EQ(io.exchanges.size(), 2u);
  EXPECT_EQ(image[57], 1);
  EXPECT_EQ(image[58], 0);
}

TEST_F(UnitProtocolTest, WritesChunksThenTheStoreFrame) {
  std::vector<std::uint8_t> image(59);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(WriteSettingsImage(usb, 4, 59, image));
  ASSERT_EQ(io.exchanges.size(), 3u);
  EXPECT_EQ(io.exchanges[0].request.size(), 64u);
  EXPECT_EQ(io.exchanges[0].request[4], 0);
  EXPECT_EQ(io.exchanges[1].request, (std::vector<std::uint8_t>{0x8A, 1, 4, 0, 1, 0, 58}));
  EXPECT_EQ(io.exchanges[2].request, (std::vector<std::uint8_t>{0x8A, 0, 4, 1, 0, 0}));
}

TEST_F(UnitProtocolTest, SettingsAboveTheBufferAreBoundedTo2048Bytes) {
  std::vector<std::uint8_t> image(2048);
  ASSERT_TRUE(ReadSettingsImage(usb, 1, 3000, false, image));
  ASSERT_EQ(io.exchanges.size(), 2048u / 58 + 1);
  EXPECT_EQ(io.exchanges.back().request[5], 2048 - 58 * (2048 / 58));
  io.exchanges.clear();
  ASSERT_TRUE(WriteSettingsImage(usb, 1, 3000, image));
  EXPECT_EQ(io.exchanges.size(), 2048u / 58 + 2);
}

TEST_F(UnitProtocolTest, DiscoveryStopsAtTheFirstSilentAddressAndKeepsUnknownTypes) {
  io.replies.push_back(ReplyFrame(DescriptorBytes(0, 128, 4)));
  io.replies.push_back(ReplyFrame(DescriptorBytes(7, 64), 1, 0));
  io.replies.push_back(ReplyFrame(DescriptorBytes(12, 64), 2, 5));
  io.replies.push_back(ReplyFrame(DescriptorBytes(2, 64), 3, 0));
  io.failAt = {4};  // address 4 does not answer
  const Discovery d = DiscoverModules(usb);
  ASSERT_TRUE(d.unitPresent);
  ASSERT_EQ(d.cards.size(), 3u);
  EXPECT_EQ(d.cards[1].subAddress, 5);
  EXPECT_FALSE(pu::FindModuleType(d.cards[1].Fields().type)) << "type 12 gets no tab";
  EXPECT_EQ(d.cards[2].Fields().type, 2);
  EXPECT_EQ(io.exchanges.size(), 5u);
}

TEST_F(UnitProtocolTest, DiscoveryWithoutSlotsOrUnit) {
  io.replies.push_back(ReplyFrame(DescriptorBytes(0, 128, 0)));
  Discovery d = DiscoverModules(usb);
  EXPECT_TRUE(d.unitPresent);
  EXPECT_TRUE(d.cards.empty());
  EXPECT_EQ(io.exchanges.size(), 1u);

  io.present = false;
  d = DiscoverModules(usb);
  EXPECT_FALSE(d.unitPresent);
}

TEST_F(UnitProtocolTest, AClockReplyWithoutValidBytesIsNoReading) {
  io.replies.push_back(ReplyFrame({5, 3, 24, 14, 7, 9}, 0, 0, /*count=*/0));
  platform::LocalTime t;
  EXPECT_FALSE(ReadClock(usb, 0, t));
}

TEST(NewIdentityTest, IsTodayWithSerialHundred) {
  platform::LocalTime today;
  today.year = 2026, today.month = 12, today.day = 9;
  EXPECT_EQ(NewIdentityRecord(today), (std::array<std::uint8_t, 8>{0, 26, 12, 9, 100, 0, 0, 0}));
}

// The same helpers against the simulated unit.
TEST(UnitProtocolSimTest, DiscoversTheDemoUnitAndRoundTripsSettings) {
  platform::VirtualClock clock;
  sim::SimUnit unit(sim::DefaultScenario(), clock);
  sim::SimDeviceIo io(unit);
  CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");

  const Discovery d = DiscoverModules(usb);
  ASSERT_TRUE(d.unitPresent);
  ASSERT_EQ(d.cards.size(), 14u);
  for (std::size_t i = 0; i < d.cards.size(); ++i) EXPECT_EQ(d.cards[i].address, i + 1);
  EXPECT_EQ(d.cards[13].Fields().type, 16);

  const std::size_t length = SettingsLength(d.mainUnit);
  ASSERT_GT(length, 107u);
  std::vector<std::uint8_t> image(2048);
  ASSERT_TRUE(ReadSettingsImage(usb, 0, length, false, image));
  EXPECT_EQ(pu::IdentityRecord::Decode(image).serial, 1234);
  image[pu::MainUnitImage::kVolumeStep] = 10;
  ASSERT_TRUE(WriteSettingsImage(usb, 0, length, image));
  std::vector<std::uint8_t> again(2048);
  ASSERT_TRUE(ReadSettingsImage(usb, 0, length, true, again));
  EXPECT_EQ(again, image);

  ASSERT_TRUE(ResetSettings(usb, 0, NewIdentityRecord(clock.Now())));
  ASSERT_TRUE(ReadSettingsImage(usb, 0, length, false, again));
  EXPECT_EQ(pu::IdentityRecord::Decode(again).serial, 100);
  EXPECT_NE(again[pu::MainUnitImage::kVolumeStep], 10);

  platform::LocalTime t;
  t.year = 2024, t.month = 3, t.day = 5, t.hour = 14, t.minute = 7, t.second = 9;
  ASSERT_TRUE(SetClock(usb, 0, t));
  clock.Advance(2000);
  platform::LocalTime read;
  ASSERT_TRUE(ReadClock(usb, 0, read));
  EXPECT_EQ(read.second, 11);
  EXPECT_EQ(read.minute, 7);
}

}  // namespace
}  // namespace desktop::unitlink
