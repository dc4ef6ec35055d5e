// Every record of the stream against bytes typed from its layout, with a
// distinct value in each field so that a field at a wrong offset shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/remote/ClockRecord.h"
#include "protocol/remote/DiscStatusRecord.h"
#include "protocol/remote/ListEntry.h"
#include "protocol/remote/LiveValue.h"
#include "protocol/remote/MainUnitBlock.h"
#include "protocol/remote/ModuleBlock.h"
#include "protocol/remote/StatusRecord.h"
#include "protocol/remote/UnitInfoRecord.h"

namespace protocol::remote {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N>
Bytes ToBytes(const std::array<std::uint8_t, N>& a) {
  return Bytes(a.begin(), a.end());
}

// Record 31, 44 bytes.
const Bytes kStatusBytes = {
    0xDF, 0xFC,              // 0  volumeMin -801
    0x02, 0x01,              // 2  volumeMax 258
    0xD4, 0xFE,              // 4  volume -300
    0x05, 0x00,              // 6  volumeStep 5
    0x87, 0x4B,              // 8  flags 0x4B87
    0x0C,                    // 10 sourceSlot
    0x0D,                    // 11 sourceInput
    0x10, 0x11, 0x12, 0x13,  // 12 buttonSources 1-2
    0x14, 0x15, 0x16, 0x17,  //    buttons 3-4
    0x18, 0x19, 0x1A, 0x1B,  //    buttons 5-6
    0x1C, 0x1D, 0x1E, 0x1F,  // 24 not interpreted
    0x20, 0x21,              // 28 outputFlags 0x2120
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36,
    0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D,  // 30 not interpreted
};

StatusRecord StatusValues() {
  StatusRecord r;
  r.volumeMin = -801;
  r.volumeMax = 258;
  r.volume = -300;
  r.volumeStep = 5;
  r.flags = 0x4B87;
  r.sourceSlot = 0x0C;
  r.sourceInput = 0x0D;
  r.buttonSources = {
      {{0x10, 0x11}, {0x12, 0x13}, {0x14, 0x15}, {0x16, 0x17}, {0x18, 0x19}, {0x1A, 0x1B}}};
  r.bytes24 = {0x1C, 0x1D, 0x1E, 0x1F};
  r.outputFlags = 0x2120;
  r.bytes30 = {0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D};
  return r;
}

TEST(RemoteRecordsTest, StatusRecordBothWays) {
  ASSERT_EQ(kStatusBytes.size(), StatusRecord::kSize);
  EXPECT_EQ(ToBytes(StatusValues().Encode()), kStatusBytes);
  const StatusRecord r = StatusRecord::Decode(kStatusBytes);
  EXPECT_EQ(r.volumeMin, -801);
  EXPECT_EQ(r.volumeMax, 258);
  EXPECT_EQ(r.volume, -300);
  EXPECT_EQ(r.volumeStep, 5);
  EXPECT_EQ(r.flags, 0x4B87);
  EXPECT_EQ(r.sourceSlot, 0x0C);
  EXPECT_EQ(r.sourceInput, 0x0D);
  EXPECT_EQ(r.buttonSources, StatusValues().buttonSources);
  EXPECT_EQ(r.bytes24, StatusValues().bytes24);
  EXPECT_EQ(r.outputFlags, 0x2120);
  EXPECT_EQ(r.bytes30, StatusValues().bytes30);
}

TEST(RemoteRecordsTest, StatusFlagBitsMeanWhatTheUnitSays) {
  struct Case {
    const char* name;
    std::uint16_t flags;
    std::uint16_t outputFlags;
    bool power, muted, inverted, faded, cd;
    int bits, group;
    bool roomOn;
    int preset;
  };
  const Case cases[] = {
      {"Nothing", 0x0000, 0x0000, false, false, false, false, false, 24, 0, false, 0},
      {"PowerBit0", 0x0001, 0, true, false, false, false, false, 24, 0, false, 0},
      {"MutedBit1", 0x0002, 0, false, true, false, false, false, 24, 0, false, 0},
      {"Truncation8Is16Bit", 0x0020, 0, false, false, false, false, false, 16, 0, false, 0},
      {"Truncation18Is6Bit", 0x0048, 0, false, false, false, false, false, 6, 0, false, 0},
      {"PolarityBit7", 0x0080, 0, false, false, true, false, false, 24, 0, false, 0},
      {"FadedBit8", 0x0100, 0, false, false, false, true, false, 24, 0, false, 0},
      {"SourceKind1IsCd", 0x0200, 0, false, false, false, false, true, 24, 0, false, 0},
      {"SourceKind2IsNotCd", 0x0400, 0, false, false, false, false, false, 24, 0, false, 0},
      {"GroupD", 0x6000, 0, false, false, false, false, false, 24, 3, false, 0},
      {"GroupB", 0x2000, 0, false, false, false, false, false, 24, 1, false, 0},
      {"RoomOnMode8", 0, 0x0008, false, false, false, false, false, 24, 0, true, 0},
      {"RoomMode12IsNotOn", 0, 0x000C, false, false, false, false, false, 24, 0, false, 0},
      {"Preset3", 0, 0x0C08, false, false, false, false, false, 24, 0, true, 3},
      {"Preset7", 0, 0x1C00, false, false, false, false, false, 24, 0, false, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StatusRecord r;
    r.flags = c.flags;
    r.outputFlags = c.outputFlags;
    EXPECT_EQ(r.PowerOn(), c.power);
    EXPECT_EQ(r.Muted(), c.muted);
    EXPECT_EQ(r.PolarityInverted(), c.inverted);
    EXPECT_EQ(r.FadedOut(), c.faded);
    EXPECT_EQ(r.SourceIsCd(), c.cd);
    EXPECT_EQ(r.OutputBits(), c.bits);
    EXPECT_EQ(r.Group(), c.group);
    EXPECT_EQ(r.RoomCorrectionOn(), c.roomOn);
    EXPECT_EQ(r.RoomPreset(), c.preset);
  }
  EXPECT_EQ(StatusRecord::kFixed35Volt, 0x0001);
  EXPECT_EQ(StatusRecord::kFixedCurrent, 0x0002);
}

TEST(RemoteRecordsTest, StatusResetValuesAreTheDisconnectedUnit) {
  const Bytes reset = {0xE0, 0xFC, 0x64, 0x00, 0xE0, 0xFC, 0x0A, 0x00};  // -800, 100, -800, 10
  const auto bytes = ToBytes(StatusRecord{}.Encode());
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), reset);
  EXPECT_EQ(Bytes(bytes.begin() + 8, bytes.end()), Bytes(36, 0));
}

TEST(RemoteRecordsTest, UnitInfoRecordBothWays) {
  const Bytes bytes = {
      0x0B, 0x1A,                                      // 0  serialNumber 0x1A0B
      0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,  // 2  inputMasks, module 0 first
      0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,  //
      0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37,  //
      0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,  //    module 15 at 32
      0x40, 0x41, 0x42, 0x43, 0x44, 0x45,              // 34 not interpreted
      0x46, 0x47, 0x48, 0x49,                          // 40 groupMasks A-D
      0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,              // 44 not interpreted
      0x50, 0x51, 0x52, 0x53, 0x54, 0x55,
  };
  ASSERT_EQ(bytes.size(), UnitInfoRecord::kSize);
  UnitInfoRecord values;
  values.serialNumber = 0x1A0B;
  for (std::size_t i = 0; i < 16; ++i) {
    values.inputMasks[i] = static_cast<std::uint16_t>((0x21 + 2 * i) << 8 | (0x20 + 2 * i));
  }
  values.bytes34 = {0x40, 0x41, 0x42, 0x43, 0x44, 0x45};
  values.groupMasks = {0x46, 0x47, 0x48, 0x49};
  values.bytes44 = {0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0x53, 0x54, 0x55};
  EXPECT_EQ(ToBytes(values.Encode()), bytes);

  const UnitInfoRecord r = UnitInfoRecord::Decode(bytes);
  EXPECT_EQ(r.serialNumber, 0x1A0B);
  EXPECT_EQ(r.inputMasks[0], 0x2120);
  EXPECT_EQ(r.inputMasks[5], 0x2B2A);
  EXPECT_EQ(r.inputMasks[15], 0x3F3E);
  EXPECT_EQ(r.bytes34, values.bytes34);
  EXPECT_EQ(r.groupMasks, values.groupMasks);
  EXPECT_EQ(r.bytes44, values.bytes44);
}

TEST(RemoteRecordsTest, DiscStatusRecordBothWays) {
  const Bytes bytes = {
      0x08, 0x09,  // 0  discFlags 0x0908: a disc is present
      0x01,        // 2  firstTrack
      0x0C,        // 3  lastTrack
      0x05,        // 4  track
      0x02,        // 5  index
      0x03,        // 6  minutes
      0x2A,        // 7  seconds
      0x3B,        // 8  totalMinutes
      0x17,        // 9  totalSeconds
      0x57, 0x04,  // 10 actualSeconds 1111
  };
  ASSERT_EQ(bytes.size(), DiscStatusRecord::kSize);
  DiscStatusRecord values;
  values.discFlags = 0x0908;
  values.firstTrack = 1;
  values.lastTrack = 12;
  values.track = 5;
  values.index = 2;
  values.minutes = 3;
  values.seconds = 42;
  values.totalMinutes = 59;
  values.totalSeconds = 23;
  values.actualSeconds = 1111;
  EXPECT_EQ(ToBytes(values.Encode()), bytes);

  const DiscStatusRecord r = DiscStatusRecord::Decode(bytes);
  EXPECT_EQ(r.discFlags, 0x0908);
  EXPECT_EQ(r.firstTrack, 1);
  EXPECT_EQ(r.lastTrack, 12);
  EXPECT_EQ(r.track, 5);
  EXPECT_EQ(r.index, 2);
  EXPECT_EQ(r.minutes, 3);
  EXPECT_EQ(r.seconds, 42);
  EXPECT_EQ(r.totalMinutes, 59);
  EXPECT_EQ(r.totalSeconds, 23);
  EXPECT_EQ(r.actualSeconds, 1111);
  EXPECT_TRUE(r.DiscPresent());
  EXPECT_FALSE(DiscStatusRecord::Decode(Bytes{0xF7, 0xFF}).DiscPresent()) << "bit 3 alone counts";
}

TEST(RemoteRecordsTest, ListEntriesBothWays) {
  struct Case {
    const char* name;
    ListEntry entry;
    Bytes bytes;
  };
  const Case cases[] = {
      {"Source",
       {0x05, 0x02, 0x07, 0x0B, "Digital 3", "SIV520"},
       {0x05, 0x02, 0x07, 0x0B,  // slot, input, sequence, type
        'D',  'i',  'g',  'i',  't', 'a', 'l', ' ', '3', 0, 0, 0, 0, 0, 0, 0,  // 4: first name
        'S',  'I',  'V',  '5',  '2', '0', 0}},                                 // 20: second name
      {"Module",
       {0x0E, 0xFF, 0x0F, 0x10, "Front26", "V1.020"},
       {0x0E, 0xFF, 0x0F, 0x10, 'F', 'r', 'o', 'n', 't', '2', '6', 0,   0, 0,
        0,    0,    0,    0,    0,   0,   'V', '1', '.', '0', '2', '0', 0}},
      {"ForgetAll", {0x80, 0x00, 0xFF, 0x00, "", ""}, {0x80, 0x00, 0xFF, 0x00, 0, 0, 0, 0, 0, 0, 0,
                                                       0,    0,    0,    0,    0, 0, 0, 0, 0, 0}},
      {"EightBitNamesTravelAsTheyAre",
       {0x01, 0x00, 0x00, 0x01, "Caf\xE9", "\x80"},
       {0x01, 0x00, 0x00, 0x01, 'C', 'a', 'f', 0xE9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.entry.Encode(), c.bytes);
    const ListEntry e = ListEntry::Decode(c.bytes);
    EXPECT_EQ(e.slot, c.entry.slot);
    EXPECT_EQ(e.input, c.entry.input);
    EXPECT_EQ(e.sequence, c.entry.sequence);
    EXPECT_EQ(e.type, c.entry.type);
    EXPECT_EQ(e.firstName, c.entry.firstName);
    EXPECT_EQ(e.secondName, c.entry.secondName);
  }
  EXPECT_TRUE(ListEntry::Decode(cases[1].bytes).IsModule());
  EXPECT_FALSE(ListEntry::Decode(cases[0].bytes).IsModule());
  EXPECT_TRUE(ListEntry::Decode(cases[2].bytes).IsControl());
  EXPECT_FALSE(ListEntry::Decode(cases[0].bytes).IsControl());
}

TEST(RemoteRecordsTest, ListEntryNamesStayInTheirFields) {
  ListEntry e;
  e.firstName = "ABCDEFGHIJKLMNOPQRS";  // 19 characters: 15 and the NUL fit
  e.secondName = "x";
  const Bytes bytes = e.Encode();
  ASSERT_EQ(bytes.size(), 22u);
  EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 20),
            std::string("ABCDEFGHIJKLMNO\0", 16));
  // A short entry reads as zeros past its end; a name without its NUL ends with the payload.
  const ListEntry cut = ListEntry::Decode(Bytes{0x03, 0x01, 0x02, 0x05, 'A', 'B'});
  EXPECT_EQ(cut.slot, 3);
  EXPECT_EQ(cut.firstName, "AB");
  EXPECT_EQ(cut.secondName, "");
  const ListEntry open = ListEntry::Decode(
      Bytes{0, 0, 0, 0, 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'Z', 'Y'});
  EXPECT_EQ(open.secondName, "ZY");
}

TEST(RemoteRecordsTest, ClockRecordBothWays) {
  // 2024-11-28, a Thursday (5 counting Sunday as 1), 21:45:58.
  const Bytes bytes = {0x18, 0x0B, 0x1C, 0x05, 0x15, 0x2D, 0x3A, 0x00, 0x00, 0x00, 0x00};
  ASSERT_EQ(bytes.size(), ClockRecord::kSize);
  platform::LocalTime t;
  t.year = 2024;
  t.month = 11;
  t.day = 28;
  t.hour = 21;
  t.minute = 45;
  t.second = 58;
  t.dayOfWeek = 4;  // 0 = Sunday
  EXPECT_EQ(ToBytes(ClockRecord::FromLocalTime(t).Encode()), bytes);

  const ClockRecord r = ClockRecord::Decode(bytes);
  EXPECT_EQ(r.year, 24);
  EXPECT_EQ(r.month, 11);
  EXPECT_EQ(r.day, 28);
  EXPECT_EQ(r.dayOfWeek, 5);
  EXPECT_EQ(r.hour, 21);
  EXPECT_EQ(r.minute, 45);
  EXPECT_EQ(r.second, 58);
  const platform::LocalTime back = r.ToLocalTime();
  EXPECT_EQ(back.year, 2024);
  EXPECT_EQ(back.month, 11);
  EXPECT_EQ(back.day, 28);
  EXPECT_EQ(back.hour, 21);
  EXPECT_EQ(back.minute, 45);
  EXPECT_EQ(back.second, 58);
  EXPECT_EQ(back.dayOfWeek, 0) << "the day of week is not taken from the record";
}

TEST(RemoteRecordsTest, ModuleBlockBothWays) {
  struct Case {
    const char* name;
    int address;
    int subAddress;
    bool live;
    Bytes header;
  };
  const Case cases[] = {
      {"Address6", 6, 0, false, {0x0C, 0x00, 0x00, 0x00}},
      {"Address1Sub1", 1, 1, false, {0x03, 0x00, 0x00, 0x00}},
      {"Address15Sub1Live", 15, 1, true, {0x3F, 0x00, 0x00, 0x00}},
      {"Address10Live", 10, 0, true, {0x34, 0x00, 0x00, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModuleBlock block;
    block.header = ModuleBlock::Header(c.address, c.subAddress, c.live);
    block.settings = {0xA1, 0xB2, 0xC3};
    Bytes bytes = c.header;
    bytes.insert(bytes.end(), {0xA1, 0xB2, 0xC3});
    EXPECT_EQ(block.Encode(), bytes);
    const ModuleBlock back = ModuleBlock::Decode(bytes);
    EXPECT_EQ(back.Address(), c.address);
    EXPECT_EQ(back.SubAddress(), c.subAddress);
    EXPECT_EQ(back.Live(), c.live);
    EXPECT_EQ(back.settings, block.settings);
    EXPECT_EQ(back.header & ModuleBlock::kModuleBits, c.header[0] & 0x1F);
  }
  // The header is a u32: bits above the byte travel too.
  EXPECT_EQ(ModuleBlock::Decode(Bytes{0x0C, 0x01, 0x00, 0x80}).header, 0x8000010Cu);
  ModuleBlock full;
  full.settings.assign(800, 7);
  EXPECT_EQ(full.Encode().size(), 772u) << "at most 768 bytes of settings";
  EXPECT_EQ(ModuleBlock::Decode(Bytes(900, 1)).settings.size(), 768u);
}

// Record 60 of the main unit (sub-address 1), a distinct value in each field.
TEST(RemoteRecordsTest, MainUnitBlockBothWays) {
  const Bytes bytes = {
      0x01, 0x00, 0x00, 0x00,  // 0  header: address 0, sub-address 1
      0x05, 0x03,              // 4  step 5, language (bit 8), clock display (bit 9)
      0x42, 0x1A,              // 6  firmware: major 2 (bits 0-5), minor 105 (bits 6-15)
      0x17,                    // 8  firmware day 23
      0x0B,                    // 9  firmware month 11
      0xE7, 0x07,              // 10 firmware year 2023
      0xD2, 0x04,              // 12 serial 1234
      0x2B, 0x1A,              // 14 delivery date word 0x1A2B
  };
  MainUnitBlock r;
  r.volumeStep = 5;
  r.language = true;
  r.clockDisplay = true;
  r.firmwareMajor = 2;
  r.firmwareMinor = 105;
  r.firmwareDay = 23;
  r.firmwareMonth = 11;
  r.firmwareYear = 2023;
  r.serial = 1234;
  r.deliveryDate = 0x1A2B;
  EXPECT_EQ(ToBytes(r.Encode()), bytes);
  const MainUnitBlock back = MainUnitBlock::Decode(bytes);
  EXPECT_EQ(back.header, 1u);
  EXPECT_EQ(back.volumeStep, 5);
  EXPECT_TRUE(back.language);
  EXPECT_TRUE(back.clockDisplay);
  EXPECT_EQ(back.firmwareMajor, 2);
  EXPECT_EQ(back.firmwareMinor, 105);
  EXPECT_EQ(back.firmwareDay, 23);
  EXPECT_EQ(back.firmwareMonth, 11);
  EXPECT_EQ(back.firmwareYear, 2023);
  EXPECT_EQ(back.serial, 1234);
  EXPECT_EQ(MainUnitBlock::kSettingsSize, 12u);
  // Only the language bit: the bits are not swapped.
  EXPECT_EQ(MainUnitBlock::Decode(Bytes{0, 0, 0, 0, 0x0A, 0x01}).language, true);
  EXPECT_EQ(MainUnitBlock::Decode(Bytes{0, 0, 0, 0, 0x0A, 0x01}).clockDisplay, false);
  // A short record reads as zeros past its end.
  EXPECT_EQ(MainUnitBlock::Decode(Bytes{0x01, 0, 0, 0, 0x0A}).volumeStep, 10);
  EXPECT_EQ(MainUnitBlock::Decode(Bytes{0x01, 0, 0, 0, 0x0A}).serial, 0);
}

// The delivery date word: bits 0-4 day, 5-8 month, 9-15 year - 2000.
TEST(RemoteRecordsTest, DeliveryDateWord) {
  struct Case {
    const char* name;
    std::uint16_t word;
    int day, month, year;
  };
  const Case cases[] = {
      {"Word0x1A2B", 0x1A2B, 11, 1, 2013},
      {"LastDayOfYear2127", 0xFF9F, 31, 12, 2127},
      {"Zero", 0x0000, 0, 0, 2000},
      {"MonthOnly", 0x0020, 0, 1, 2000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto d = MainUnitBlock::DecodeDate(c.word);
    EXPECT_EQ(d.day, c.day);
    EXPECT_EQ(d.month, c.month);
    EXPECT_EQ(d.year, c.year);
    EXPECT_EQ(MainUnitBlock::EncodeDate(d), c.word);
  }
}

// The display's block: eight triples, then the alternate-screen timer.
TEST(RemoteRecordsTest, DisplayBlockLayout) {
  EXPECT_EQ(DisplayBlock::kOffLevels, 4u);
  EXPECT_EQ(DisplayBlock::LevelOffset(7), 25u);
  EXPECT_EQ(DisplayBlock::kOffAltScreen, 28u);
  EXPECT_EQ(DisplayBlock::kSize, 30u);
  EXPECT_EQ(DisplayBlock::kSettingsSize, 26u);
  EXPECT_EQ(DisplayBlock::kAltScreenControl, 8);
}

// The live values of the setup pages, typed from their layouts.
TEST(RemoteRecordsTest, LiveValuePayloads) {
  struct Case {
    const char* name;
    Bytes encoded;
    Bytes expected;
  };
  auto b = [](const auto& a) { return Bytes(a.begin(), a.end()); };
  const Case cases[] = {
      {"56SlotAndSelection", b(LiveValue::Encode56(8, 5)), {0x08, 0x05}},
      {"66SlotAndFourLevels",
       b(LiveValue::Encode66(6, {static_cast<std::uint16_t>(-300), 100, 0x0203, 0x0405})),
       {0x06, 0x00, 0xD4, 0xFE, 0x64, 0x00, 0x03, 0x02, 0x05, 0x04}},
      {"67SlotAndTwoValues", b(LiveValue::Encode67(1, 120, 3)), {0x01, 0x78, 0x03}},
      {"69ChannelsFirstLowest",
       b(LiveValue::Encode69(2, false, {1, 2, 3, 4})),
       {0x02, 0x00, 0x21, 0x43}},
      {"69Selector", b(LiveValue::Encode69(13, true, {0xF, 0, 0, 0})), {0x1D, 0x00, 0x0F, 0x00}},
      {"70SlotControlSubValue",
       b(LiveValue::Encode70(14, 7, 0xA5, 0x1234)),
       {0x7E, 0xA5, 0x34, 0x12}},
      {"70SlotOnly", b(LiveValue::Encode70(9, 0, 0, 100)), {0x09, 0x00, 0x64, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.encoded, c.expected);
  }
}

}  // namespace
}  // namespace protocol::remote
