// Every record of the unit link, pinned against byte tables written from its
// documented layout: a distinct value in each field, encoded and decoded.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "protocol/unit/CardDownloadBegin.h"
#include "protocol/unit/ClockRecord.h"
#include "protocol/unit/DisplayLevels.h"
#include "protocol/unit/DisplayRow.h"
#include "protocol/unit/DownloadBlock.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/Klf310Image.h"
#include "protocol/unit/LiveRecords.h"
#include "protocol/unit/ModuleDescriptor.h"
#include "protocol/unit/ProcessorRecord.h"
#include "protocol/unit/StatusRecord.h"
#include "protocol/unit/TableEntry.h"

namespace protocol::unit {
namespace {

template <std::size_t N>
std::vector<std::uint8_t> V(const std::array<std::uint8_t, N>& a) {
  return {a.begin(), a.end()};
}

// Status 0x01 at 0, 0xB1 at 1, type 0x07 at 2, 0xB3 at 3, settings length
// 0x0123 at 4, slot count 0x0E at 6, clock 0x01 at 7, major 0x0203 at 8,
// minor 0x0105 at 10, day 0x0C, month 0x0B, year 0x18 at 12-14, 0xBF..0xC2
// at 15-18, flags 0x01 at 19, then 32 module-specific bytes 0xD0..0xEF.
constexpr std::array<std::uint8_t, 52> kDescriptorBytes = {
    0x01, 0xB1, 0x07, 0xB3, 0x23, 0x01, 0x0E, 0x01, 0x03, 0x02, 0x05, 0x01, 0x0C,
    0x0B, 0x18, 0xBF, 0xC0, 0xC1, 0xC2, 0x01, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5,
    0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE0, 0xE1, 0xE2,
    0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF};

TEST(ModuleDescriptorTest, EveryNamedFieldAtItsOffset) {
  const ModuleDescriptor d = ModuleDescriptor::Decode(kDescriptorBytes);
  EXPECT_EQ(d.status, 0x01);
  EXPECT_EQ(d.type, 0x07);
  EXPECT_EQ(d.settingsLength, 0x0123);
  EXPECT_EQ(d.slotCount, 0x0E);
  EXPECT_EQ(d.hasClock, 0x01);
  EXPECT_EQ(d.versionMajor, 0x0203);
  EXPECT_EQ(d.versionMinor, 0x0105);
  EXPECT_EQ(d.versionDay, 0x0C);
  EXPECT_EQ(d.versionMonth, 0x0B);
  EXPECT_EQ(d.versionYear, 0x18);
  EXPECT_EQ(d.flags, 0x01);
  EXPECT_TRUE(d.SoftwareRunning());
  EXPECT_EQ(d.moduleSpecific.front(), 0xD0);
  EXPECT_EQ(d.moduleSpecific.back(), 0xEF);

  // Encoding over the same bytes leaves the unread ones and rewrites the rest.
  DescriptorBytes out = kDescriptorBytes;
  for (std::size_t at : {0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 19}) out[at] = 0;
  std::fill(out.begin() + 20, out.end(), 0);
  d.EncodeInto(out);
  EXPECT_EQ(out, kDescriptorBytes);
}

TEST(ModuleDescriptorTest, FlagsBitZeroAloneSaysTheSoftwareRuns) {
  DescriptorBytes bytes{};
  bytes[19] = 0xFE;
  EXPECT_FALSE(ModuleDescriptor::Decode(bytes).SoftwareRunning());
  bytes[19] = 0x01;
  EXPECT_TRUE(ModuleDescriptor::Decode(bytes).SoftwareRunning());
}

TEST(IdentityRecordTest, DateAndSerialAtTheirOffsets) {
  // 0xA0 leading, delivery 2013-02-28, serial 0x0D05 = 3333, trailing 0xC1B1.
  constexpr std::array<std::uint8_t, 8> bytes = {0xA0, 13, 2, 28, 0x05, 0x0D, 0xB1, 0xC1};
  const IdentityRecord r = IdentityRecord::Decode(bytes);
  EXPECT_EQ(r.leading, 0xA0);
  EXPECT_EQ(r.deliveryYear, 13);
  EXPECT_EQ(r.deliveryMonth, 2);
  EXPECT_EQ(r.deliveryDay, 28);
  EXPECT_EQ(r.serial, 3333);
  EXPECT_EQ(r.trailing, 0xC1B1);
  EXPECT_EQ(r.Encode(), bytes);

  std::array<std::uint8_t, 8> image = {0xEE, 0, 0, 0, 0, 0, 0xEE, 0xEE};
  r.EncodeDateAndSerialInto(image);
  EXPECT_EQ(image, (std::array<std::uint8_t, 8>{0xEE, 13, 2, 28, 0x05, 0x0D, 0xEE, 0xEE}));
}

TEST(IdentityRecordTest, ANewRecordIsTheDayWithSerialHundred) {
  EXPECT_EQ(IdentityRecord::New(2026, 12, 9).Encode(),
            (std::array<std::uint8_t, 8>{0, 26, 12, 9, 100, 0, 0, 0}));
}

TEST(ClockRecordTest, FifthOfMarch2024At140709) {
  ClockRecord r;
  r.year = 2024, r.month = 3, r.day = 5, r.hour = 14, r.minute = 7, r.second = 9;
  EXPECT_EQ(r.Encode(), (std::array<std::uint8_t, 6>{5, 3, 24, 14, 7, 9}));
  const std::array<std::uint8_t, 6> other = {31, 12, 99, 23, 59, 58};
  const ClockRecord back = ClockRecord::Decode(other);
  EXPECT_EQ(back.day, 31);
  EXPECT_EQ(back.month, 12);
  EXPECT_EQ(back.year, 2099);
  EXPECT_EQ(back.hour, 23);
  EXPECT_EQ(back.minute, 59);
  EXPECT_EQ(back.second, 58);
}

TEST(StatusRecordTest, OnlyByteTwoBitZeroMeansEepromError) {
  struct Row {
    const char* name;
    std::array<std::uint8_t, 10> status;
    bool error;
  } rows[] = {
      {"clear", {}, false},
      {"byte 2 = 0x01", {0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0}, true},
      {"others set", {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, false},
      {"bit 0 of other bytes", {0x01, 0x01, 0, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01}, false},
      {"all set", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(StatusRecord::EepromError(r.status), r.error);
  }
  EXPECT_EQ(StatusRecord::kSize, 10u);
}

TEST(DownloadBlockTest, AddressCountAndData) {
  const std::uint8_t data[] = {0x40, 0x41, 0x42, 0x43};
  std::array<std::uint8_t, 16> out{};
  ASSERT_EQ((DownloadBlock{0x00012345, data}.EncodeInto(out)), 10u);
  const std::vector<std::uint8_t> expected = {0x45, 0x23, 0x01, 0x00, 0x04,
                                              0x00, 0x40, 0x41, 0x42, 0x43};
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 10), expected);

  DownloadBlock back;
  ASSERT_EQ(DownloadBlock::Decode(expected, back), ParseResult::kComplete);
  EXPECT_EQ(back.address, 0x00012345u);
  EXPECT_EQ(back.data.size(), 4u);
  EXPECT_EQ(back.data[3], 0x43);

  std::vector<std::uint8_t> lying = expected;
  lying[4] = 5;  // says five bytes, carries four
  EXPECT_EQ(DownloadBlock::Decode(lying, back), ParseResult::kInvalid);
  EXPECT_EQ(DownloadBlock::Decode(std::span(expected).first(5), back), ParseResult::kIncomplete);
  EXPECT_EQ(DownloadBlock::kMaxMainData, 52u);
  EXPECT_EQ(DownloadBlock::kMaxCardData, 22u);
}

// Model 0x05 with the flag, component 0x13, date 2008-03-14, version update
// V2.005, byte 6 0x66, second part 0x12 of 2007-11-05 V1.002, board written on
// 2008-09-15 with serial 21202 (2 << 16 | 1202).
constexpr std::array<std::uint8_t, 40> kProcessorBytes = {
    0x0B, 0x13, 0x6E, 0x10, 0x45, 0x01, 0x66, 0x12, 0x65, 0x0F, 0x81, 0x00, 0x01, 0x08,
    0x09, 0x0F, 0xB2, 0x04, 0x02, 0x00, 0,    0,    0,    0,    0,    0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0};

TEST(ProcessorRecordTest, PackedDatesAndVersionsDecode) {
  const ProcessorRecord r = ProcessorRecord::Decode(kProcessorBytes);
  EXPECT_TRUE(r.softwareFlag);
  EXPECT_EQ(r.model, 5);
  EXPECT_EQ(r.component, 0x13);
  EXPECT_EQ(r.date.day, 14);
  EXPECT_EQ(r.date.month, 3);
  EXPECT_EQ(r.date.year, 2008);
  EXPECT_TRUE(r.update);
  EXPECT_EQ(r.major, 2);
  EXPECT_EQ(r.minor, 5);
  EXPECT_EQ(r.unused, 0x66);
  EXPECT_EQ(r.secondComponent, 0x12);
  EXPECT_EQ(r.secondDate.day, 5);
  EXPECT_EQ(r.secondDate.month, 11);
  EXPECT_EQ(r.secondDate.year, 2007);
  EXPECT_EQ(r.secondMajor, 1);
  EXPECT_EQ(r.secondMinor, 2);
  EXPECT_EQ(r.board.written, 1);
  EXPECT_EQ(r.board.deliveryYear, 8);
  EXPECT_EQ(r.board.deliveryMonth, 9);
  EXPECT_EQ(r.board.deliveryDay, 15);
  EXPECT_EQ(r.board.serial, 21202u);
  EXPECT_EQ(r.Encode(), kProcessorBytes);
  EXPECT_EQ(V(r.board.Encode()),
            std::vector<std::uint8_t>(kProcessorBytes.begin() + 12, kProcessorBytes.end()));
}

TEST(ProcessorRecordTest, MinorFillsTheTopTenBits) {
  // Major 0, minor 1000: one of the versions the QVO520 page never offers to update.
  std::array<std::uint8_t, 40> bytes{};
  bytes[4] = 0x00;  // 1000 << 6 = 0xFA00
  bytes[5] = 0xFA;
  const ProcessorRecord r = ProcessorRecord::Decode(bytes);
  EXPECT_EQ(r.major, 0);
  EXPECT_EQ(r.minor, 1000);
  EXPECT_FALSE(r.update);
}

TEST(DisplayLevelsTest, EightTriplesInReplyOrder) {
  std::array<std::uint8_t, 24> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0x10 + i);
  const DisplayLevels d = DisplayLevels::Decode(bytes);
  struct Row {
    const char* name;
    DisplaySetting setting;
    std::uint8_t value;
  } rows[] = {
      {"brightness (power on)", DisplaySetting::kBrightnessOn, 0x10},
      {"brightness (power off)", DisplaySetting::kBrightnessOff, 0x13},
      {"contrast", DisplaySetting::kContrast, 0x16},
      {"peak meter delay", DisplaySetting::kPeakmeterDelay, 0x19},
      {"ZEL520 front", DisplaySetting::kLedZEL520Front, 0x1C},
      {"ZEL520 rear", DisplaySetting::kLedZEL520Rear, 0x1F},
      {"TWR520", DisplaySetting::kLedTWR520, 0x22},
      {"brightness (alternate screen)", DisplaySetting::kBrightnessAlternate, 0x25},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(d[row.setting].value, row.value);
    EXPECT_EQ(d[row.setting].min, row.value + 1);
    EXPECT_EQ(d[row.setting].max, row.value + 2);
  }
  EXPECT_EQ(d.Encode(), bytes);
}

TEST(DisplayLevelsTest, ShortReplyGivesZerosPastItsEnd) {
  const std::uint8_t bytes[] = {5, 1, 9, 7};
  const DisplayLevels d = DisplayLevels::Decode(bytes);
  EXPECT_EQ(d[DisplaySetting::kBrightnessOn], (DisplayLevel{5, 1, 9}));
  EXPECT_EQ(d[DisplaySetting::kBrightnessOff], (DisplayLevel{7, 0, 0}));
  EXPECT_EQ(d[DisplaySetting::kBrightnessAlternate], (DisplayLevel{0, 0, 0}));
  EXPECT_EQ(DisplayLevels::Decode({})[DisplaySetting::kContrast], (DisplayLevel{0, 0, 0}));
}

TEST(DisplayLevelsTest, EachSettingCommandSetsItsTriple) {
  struct Row {
    int code;
    int triple;  // -1: not a display setting
  } rows[] = {{146, 0}, {150, 1}, {151, 2},  {152, 3}, {147, 4}, {162, 5},
              {148, 6}, {155, 7}, {163, -1}, {33, -1}, {17, -1}, {0, -1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    const auto setting = DisplaySettingOf(static_cast<std::uint8_t>(row.code));
    if (row.triple < 0) {
      EXPECT_FALSE(setting);
    } else {
      ASSERT_TRUE(setting);
      EXPECT_EQ(static_cast<int>(*setting), row.triple);
    }
  }
}

TEST(DisplayRowTest, WordOneBitFifteenIsTheLeftPixel) {
  DisplayRow::Bytes row{};
  DisplayRow::Light(row, 0);
  DisplayRow::Light(row, 239);
  DisplayRow::Light(row, 17);
  DisplayRow::Bytes expected{};
  expected[3] = 0x80;   // word 1 = 0x8000: pixel 0
  expected[5] = 0x40;   // word 2 = 0x4000: pixel 17
  expected[30] = 0x01;  // word 15 = 0x0001: pixel 239
  EXPECT_EQ(row, expected);
  EXPECT_TRUE(DisplayRow::Lit(expected, 17));
  EXPECT_FALSE(DisplayRow::Lit(expected, 16));
}

TEST(CardDownloadBeginTest, TwelveBytes) {
  CardDownloadBegin b;
  b.processor = 1;
  b.versionMajor = 0x02;
  b.versionMinor = 0x0304;
  b.day = 0x05;
  b.month = 0x06;
  b.year = 0x07D8;
  b.checksum = 0x0A0B0C0D;
  const std::array<std::uint8_t, 12> bytes = {0x01, 0x02, 0x04, 0x03, 0x05, 0x06,
                                              0xD8, 0x07, 0x0D, 0x0C, 0x0B, 0x0A};
  EXPECT_EQ(b.Encode(), bytes);
  const CardDownloadBegin back = CardDownloadBegin::Decode(bytes);
  EXPECT_EQ(back.versionMinor, 0x0304);
  EXPECT_EQ(back.year, 0x07D8);
  EXPECT_EQ(back.checksum, 0x0A0B0C0Du);
  EXPECT_EQ(back.processor, 1);
  EXPECT_EQ(back.day, 5);
  EXPECT_EQ(back.month, 6);
  EXPECT_EQ(back.versionMajor, 2);
}

TEST(TableEntryTest, WordThenFortySixEntryBytes) {
  std::array<std::uint8_t, 48> entry{};
  for (std::size_t i = 0; i < entry.size(); ++i) entry[i] = static_cast<std::uint8_t>(0xA0 + i);
  const auto data = TableEntry::Encode(0x0301, entry);
  ASSERT_EQ(data.size(), 48u);
  EXPECT_EQ(data[0], 0x01);
  EXPECT_EQ(data[1], 0x00) << "the word's high byte travels as 0";
  EXPECT_EQ(data[2], 0xA0);
  EXPECT_EQ(data[47], 0xA0 + 45);
  const auto carried = TableEntry::CarriedEntry(data);
  ASSERT_EQ(carried.size(), 46u);
  EXPECT_EQ(carried[0], 0xA0);
  EXPECT_TRUE(TableEntry::CarriedEntry(std::span(data).first(47)).empty());
}

TEST(LiveRecordsTest, EqualizerCurveWordAndTimes) {
  EqualizerCurveRecord r;
  r.curve = 5;
  r.selected = true;
  r.times = {0x0102, 3, 4, 0x0506};
  const std::array<std::uint8_t, 10> bytes = {0x0A, 0x01, 0x02, 0x01, 3, 0, 4, 0, 0x06, 0x05};
  EXPECT_EQ(r.Encode(), bytes);
  const EqualizerCurveRecord back = EqualizerCurveRecord::Decode(bytes);
  EXPECT_EQ(back.curve, 5);
  EXPECT_TRUE(back.selected);
  EXPECT_EQ(back.times[3], 0x0506);
  const std::array<std::uint8_t, 10> adjusting = {0xFE, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(EqualizerCurveRecord::Decode(adjusting).curve, 127);
  EXPECT_FALSE(EqualizerCurveRecord::Decode(adjusting).selected);
}

TEST(LiveRecordsTest, BtModuleInitStartAndValue) {
  BtModuleInitRecord r;
  r.start = true;
  r.value = 0x04030201;
  EXPECT_EQ(r.Encode(), (std::array<std::uint8_t, 10>{1, 0, 1, 2, 3, 4, 0, 0, 0, 0}));
  r.start = false;
  r.value = 1;
  EXPECT_EQ(r.Encode(), (std::array<std::uint8_t, 10>{0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(BtModuleInitRecord::Decode(std::array<std::uint8_t, 10>{1}).start);
}

TEST(LiveRecordsTest, WordsInArgumentOrder) {
  EXPECT_EQ(LiveWords::EncodeFour(0xFF83, 50, 0x0102, 0),
            (std::array<std::uint8_t, 8>{0x83, 0xFF, 50, 0, 0x02, 0x01, 0, 0}));
  EXPECT_EQ(LiveWords::EncodeOne(0x0201), (std::array<std::uint8_t, 2>{0x01, 0x02}));
  const std::uint8_t data[] = {1, 0, 2, 0, 3, 0, 4, 5};
  EXPECT_EQ(LiveWords::Word(data, 3), 0x0504);
}

TEST(Klf310VersionEntryTest, MarkerAndVersion) {
  const std::array<std::uint8_t, 16> bytes = {0x90, 0x19, 0x08, 0x17, 0, 3, 12, 0,
                                              4,    11,   0xD8, 0x07, 0, 0, 0,  0};
  const Klf310VersionEntry e = Klf310VersionEntry::Decode(bytes);
  EXPECT_TRUE(e.valid);
  EXPECT_EQ(e.major, 3);
  EXPECT_EQ(e.minor, 12);
  EXPECT_EQ(e.day, 4);
  EXPECT_EQ(e.month, 11);
  EXPECT_EQ(e.year, 2008);
  EXPECT_EQ(e.Encode(), bytes);
  std::array<std::uint8_t, 16> wrong = bytes;
  wrong[3] = 0x18;
  EXPECT_FALSE(Klf310VersionEntry::Decode(wrong).valid);
  EXPECT_EQ(Klf310VersionEntry::kBootDescriptorOffset, 20u);
  EXPECT_EQ(Klf310VersionEntry::kMainDescriptorOffset, 36u);
}

}  // namespace
}  // namespace protocol::unit
