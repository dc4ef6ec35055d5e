// Every settings-image offset, typed from the module pages' tables.
#include <gtest/gtest.h>

#include <cstddef>

#include "protocol/unit/Hej520Image.h"
#include "protocol/unit/Jov520Image.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/MainUnitImage.h"
#include "protocol/unit/Nvo310Image.h"
#include "protocol/unit/PhonoImage.h"
#include "protocol/unit/Qvo520Image.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/Siv520Image.h"
#include "protocol/unit/Twr310iImage.h"
#include "protocol/unit/Yor310Image.h"

namespace protocol::unit {
namespace {

struct Field {
  const char* name;
  std::size_t offset;  // as the layout says
  std::size_t expected;
};

void ExpectAll(std::initializer_list<Field> fields) {
  for (const Field& f : fields) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(f.offset, f.expected);
  }
}

TEST(LayoutsTest, CommonImageFields) {
  ExpectAll({
      {"identity size", SettingsImage::kIdentitySize, 8},
      {"name size", SettingsImage::kNameSize, 16},
      {"chunk size", SettingsImage::kChunkSize, 58},
      {"desktop buffer", SettingsImage::kMaxSize, 2048},
      {"chunks of a 116-byte image (58, 58, 0)", SettingsImage::ChunkCount(116), 3},
      {"chunks of a 59-byte image (58, 1)", SettingsImage::ChunkCount(59), 2},
      {"chunks of an empty image", SettingsImage::ChunkCount(0), 0},
  });
  EXPECT_EQ(SettingsImage::kReloadFlag, 1);
  EXPECT_EQ(SettingsImage::kStoreFlag, 1);
}

TEST(LayoutsTest, MainUnit) {
  ExpectAll({
      {"HDD option", MainUnitImage::kHddOption, 8},
      {"options word", MainUnitImage::kOptions, 64},
      {"volume step", MainUnitImage::kVolumeStep, 77},
      {"alternative screen", MainUnitImage::kAltScreen, 106},
  });
  EXPECT_EQ(MainUnitImage::kHddOptionBit, 0x0001);
  EXPECT_EQ(MainUnitImage::kLanguageBit, 0x0002);
  EXPECT_EQ(MainUnitImage::kClockDisplayBit, 0x0400);
}

TEST(LayoutsTest, PhonoCards) {
  ExpectAll({
      {"name", PhonoImage::kName, 8},
      {"gain", PhonoImage::kGain, 24},
      {"selected curve", PhonoImage::kSelectedCurve, 25},
      {"slot 0", PhonoImage::SlotOffset(0), 26},
      {"slot 7", PhonoImage::SlotOffset(7), 208},
      {"slot count", PhonoImage::kSlotCount, 8},
      {"high-pass flags", PhonoImage::kFlags, 234},
      {"slot size", PhonoCurveSlot::kSize, 26},
      {"slot word", PhonoCurveSlot::kWord, 0},
      {"t1", PhonoCurveSlot::kT1, 2},
      {"t2", PhonoCurveSlot::kT2, 4},
      {"t3", PhonoCurveSlot::kT3, 6},
      {"t4", PhonoCurveSlot::kT4, 8},
      {"t4 by index", PhonoCurveSlot::TimeOffset(3), 8},
      {"curve name", PhonoCurveSlot::kName, 10},
      {"curve name size", PhonoCurveSlot::kNameSize, 16},
      {"curve number shift", PhonoCurveSlot::kCurveShift, 1},
      {"curve number mask", PhonoCurveSlot::kCurveMask, 0x7F},
  });
  EXPECT_EQ(PhonoCurveSlot::kInUse, 1);
  EXPECT_EQ(PhonoImage::kHighPassBit, 1);
  EXPECT_EQ(PhonoCurveSlot::kMaxTime, 16383);
  EXPECT_EQ(PhonoImage::kGainField.max, 120);
}

TEST(LayoutsTest, Qvo520) {
  ExpectAll({
      {"name", Qvo520Image::kName, 8},
      {"level 1", Qvo520Image::kLevel1, 24},
      {"assignment 1", Qvo520Image::kAssign1, 28},
      {"assignment 2", Qvo520Image::kAssign2, 30},
      {"mode", Qvo520Image::kMode, 34},
      {"level 2", Qvo520Image::kLevel2, 36},
      {"level 3", Qvo520Image::kLevel3, 38},
      {"level 4", Qvo520Image::kLevel4, 40},
      {"assignment 3", Qvo520Image::kAssign3, 42},
      {"assignment 4", Qvo520Image::kAssign4, 44},
  });
  EXPECT_EQ(Qvo520Image::kLevels, (std::array<std::size_t, 4>{24, 36, 38, 40}));
  EXPECT_EQ(Qvo520Image::kAssigns, (std::array<std::size_t, 4>{28, 30, 42, 44}));
}

TEST(LayoutsTest, InputCards) {
  ExpectAll({
      {"HEJ520 name 1", Hej520Image::NameOffset(0), 8},
      {"HEJ520 name 3", Hej520Image::NameOffset(2), 40},
      {"HEJ520 assignment 1", Hej520Image::kAssign1, 56},
      {"HEJ520 assignment 2", Hej520Image::kAssign2, 58},
      {"HEJ520 disable bits", Hej520Image::kDisable, 60},
      {"HEJ520 CD bits", Hej520Image::kCd, 61},
      {"HEJ520 data rate", Hej520Image::kRate, 62},
      {"SIV520 name 1", Siv520Image::NameOffset(0), 8},
      {"SIV520 name 8", Siv520Image::NameOffset(7), 120},
      {"SIV520 disable bits", Siv520Image::kDisable, 136},
      {"SIV520 CD bits", Siv520Image::kCd, 137},
      {"NVO310 stereo 1", Nvo310Image::NameOffset(0), 8},
      {"NVO310 stereo 4", Nvo310Image::NameOffset(3), 56},
      {"NVO310 MC5.1", Nvo310Image::NameOffset(4), 72},
      {"NVO310 its stereo", Nvo310Image::NameOffset(5), 88},
      {"NVO310 MC7.1", Nvo310Image::NameOffset(6), 104},
      {"NVO310 disable bits", Nvo310Image::kDisable, 120},
      {"NVO310 flags", Nvo310Image::kFlags, 122},
  });
  EXPECT_EQ(Nvo310Image::kHighPassBit, 0x01);
  EXPECT_EQ(Nvo310Image::kGroupMc51, 2);
  EXPECT_EQ(Nvo310Image::kGroupMc71, 4);
}

TEST(LayoutsTest, OutputAndDriveCards) {
  ExpectAll({
      {"TWR310i name", Twr310iImage::kName, 8},
      {"TWR310i level 1", Twr310iImage::kLevel1, 24},
      {"TWR310i assignment 1", Twr310iImage::kAssign1, 28},
      {"TWR310i assignment 2", Twr310iImage::kAssign2, 30},
      {"TWR310i level 2", Twr310iImage::kLevel2, 32},
      {"YOR310 name", Yor310Image::kName, 8},
      {"YOR310 offset 1", Yor310Image::kOffset1, 24},
      {"YOR310 offset 2", Yor310Image::kOffset2, 26},
      {"JOV520 name", Jov520Image::kName, 8},
      {"JOV520 auto repeat byte", Jov520Image::kFlags, 24},
      {"JOV520 front LED", Jov520Image::kLedBrightness, 27},
  });
  EXPECT_EQ(Jov520Image::kLedBrightnessField.max, 100);
}

TEST(LayoutsTest, Klf310) {
  ExpectAll({
      {"MAC", Klf310Image::kMac, 8},
      {"IP", Klf310Image::kIp, 14},
      {"subnet", Klf310Image::kSubnet, 18},
      {"channel table", Klf310Image::kChannelTable, 28},
      {"channel 15", Klf310Image::ChannelOffset(15), 748},
      {"channel count", Klf310Image::kChannelCount, 16},
      {"configuration", Klf310Image::kConfig, 796},
      {"record size", Klf310Channel::kSize, 48},
      {"flags", Klf310Channel::kFlags, 0},
      {"start", Klf310Channel::kStart, 4},
      {"stop", Klf310Channel::kStop, 8},
      {"delay", Klf310Channel::kDelay, 12},
      {"zero bytes", Klf310Channel::kReserved, 16},
      {"name", Klf310Channel::kName, 24},
      {"name size", Klf310Channel::kNameSize, 24},
      {"fraction shift", Klf310Channel::kFractionShift, 2},
      {"index shift", Klf310Channel::kIndexShift, 6},
      // The channel list reads channel k-1's name at 4 + 48k.
      {"name of channel 1 (k = 1)", Klf310Image::ChannelNameOffset(0), 4 + 48 * 1},
      {"name of channel 14 (k = 14)", Klf310Image::ChannelNameOffset(13), 4 + 48 * 14},
  });
  EXPECT_EQ(Klf310Image::kChannelCountMask, 0x1F);
  EXPECT_EQ(Klf310Image::kAdvancedBit, 0x20);
  EXPECT_EQ(Klf310Channel::kInUseBit, 0x01u);
  EXPECT_EQ(Klf310Channel::kActiveBit, 0x02u);
  EXPECT_EQ(Klf310Channel::kFractionMask, 0x0Fu);
  EXPECT_EQ(Klf310Channel::kIndexMask, 0x1Fu);
  // 0x23 holds three channels.
  EXPECT_EQ(0x23 & Klf310Image::kChannelCountMask, 3);
}

}  // namespace
}  // namespace protocol::unit
