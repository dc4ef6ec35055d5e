// The named fields of every settings layout: offsets typed from the layouts'
// tables and values formatted from literal image bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "protocol/unit/Hej520Image.h"
#include "protocol/unit/Jov520Image.h"
#include "protocol/unit/MainUnitImage.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/PhonoImage.h"
#include "protocol/unit/Qvo520Image.h"
#include "protocol/unit/SettingsFields.h"
#include "protocol/unit/Twr310iImage.h"
#include "protocol/unit/Yor310Image.h"

namespace protocol::unit {
namespace {

struct Row {
  const char* layout;
  std::uint8_t type;
  const char* field;
  std::size_t offset;
  std::vector<std::pair<std::size_t, std::uint8_t>> bytes;  // the rest of the image is zero
  const char* shown;
};

const SettingsField* Find(std::uint8_t type, const std::string& name) {
  const auto& fields = FieldsFor(type);
  const auto it = std::find_if(fields.begin(), fields.end(),
                               [&](const SettingsField& f) { return f.name == name; });
  return it == fields.end() ? nullptr : &*it;
}

TEST(SettingsFieldsTest, EveryLayoutNamesItsFieldsAtTheirOffsets) {
  const Row rows[] = {
      {"main unit", 0, "volume step", 77, {{77, 5}}, "0.5 dB"},
      {"main unit", 0, "language", 64, {{64, 0x02}}, "Deutsch"},
      {"main unit", 0, "clock display", 64, {{64, 0x00}, {65, 0x04}}, "on"},
      {"main unit", 0, "alternative screen", 106, {{106, 0x2C}, {107, 0x01}}, "300 s"},
      {"main unit, 0 is off", 0, "alternative screen", 106, {}, "off"},
      {"identity", 0, "serial", 4, {{4, 0xD2}, {5, 0x04}}, "1234"},
      {"identity", 7, "delivery date", 1, {{1, 24}, {2, 1}, {3, 15}}, "2024-01-15"},
      {"QVI520", type::kQVI520, "gain", 24, {{24, 125}}, "12.5 dB"},
      {"BUZ310", type::kBUZ310, "slot 2 T3", 58, {{58, 0x4B}, {59, 0x00}}, "75 µs"},
      {"BUZ310", type::kBUZ310, "slot 8 name", 218, {{218, 'R'}, {219, 'I'}}, "\"RI\""},
      {"phono", type::kQVI520, "high-pass filter", 234, {{234, 1}}, "on"},
      {"QVO520", type::kQVO520, "level 2", 36, {{36, 0x83}, {37, 0xFF}}, "-12.5 dB"},
      {"QVO520", type::kQVO520b, "channel 3 assignment", 42, {{42, 7}}, "7"},
      {"QVO520", type::kQVO520, "mode", 34, {{34, 1}}, "stereo"},
      {"QVO520", type::kQVO520, "name", 8, {{8, 'F'}, {9, 0xE4}, {10, 0x01}}, "\"F\u00e4\\x01\""},
      {"HEJ520", type::kHEJ520, "output rate", 62, {{62, 2}}, "96 kHz"},
      {"HEJ520", type::kHEJ520, "input 3 CD", 61, {{61, 0x04}}, "yes"},
      {"SIV520", type::kSIV520, "input 8 name", 120, {{120, 'T'}, {121, 'V'}}, "\"TV\""},
      {"SIV520", type::kSIV520, "input 2 switched off", 136, {{136, 0x02}}, "yes"},
      {"TWR310i", type::kTWR310i, "level 2", 32, {{32, 0x64}}, "10.0 dB"},
      {"NVO310", type::kNVO310, "active group", 122, {{122, 0x04}}, "7.1"},
      {"NVO310", type::kNVO310, "input 7 name", 104, {{104, '7'}}, "\"7\""},
      {"JOV520", type::kJOV520, "LED brightness", 27, {{27, 80}}, "80 %"},
      {"YOR310", type::kYOR310, "offset 2", 26, {{26, 0xE0}, {27, 0x01}}, "48.0 dB"},
      {"KLF310", type::kKLF310, "IP address", 14, {{14, 127}, {17, 77}}, "127.0.0.77"},
      {"KLF310",
       type::kKLF310,
       "MAC address",
       8,
       {{8, 0x00}, {9, 0x1A}, {13, 0xFF}},
       "00-1A-00-00-00-FF"},
      // 1000.0f is 0x447A0000.
      {"KLF310", type::kKLF310, "channel 1 start", 80, {{82, 0x7A}, {83, 0x44}}, "1000 Hz"},
      {"KLF310", type::kKLF310, "channel 15 name", 772, {{772, 'S'}}, "\"S\""},
      {"KLF310", type::kKLF310, "channel 0 octave fraction", 28, {{28, 0x0C}}, "3"},
      {"KLF310", type::kKLF310, "channel count", 796, {{796, 0x2C}}, "12"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.layout) + ": " + row.field);
    const SettingsField* field = Find(row.type, row.field);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->offset, row.offset);
    std::vector<std::uint8_t> image(2048, 0);
    for (const auto& [at, value] : row.bytes) image[at] = value;
    EXPECT_EQ(FormatField(*field, image), row.shown);
  }
}

TEST(SettingsFieldsTest, UnknownTypesHaveNoFieldsAndShortImagesShowNothing) {
  EXPECT_TRUE(FieldsFor(12).empty());
  EXPECT_TRUE(FieldsFor(type::kFront26).empty());
  const SettingsField* level = Find(type::kQVO520, "level 4");
  ASSERT_NE(level, nullptr);
  const std::vector<std::uint8_t> cut(41, 0);  // level 4 is bytes 40-41
  EXPECT_EQ(FormatField(*level, cut), "");
}

// Every type the catalogue lists with a layout has every field inside one
// image of the desktop's size, and no name twice.
TEST(SettingsFieldsTest, EveryTableHoldsTogether) {
  std::vector<std::uint8_t> codes = {kMainUnit.code};
  for (const ModuleType& t : kModuleTypes) codes.push_back(t.code);
  for (std::uint8_t code : codes) {
    SCOPED_TRACE(static_cast<int>(code));
    std::set<std::string> names;
    for (const SettingsField& f : FieldsFor(code)) {
      EXPECT_TRUE(names.insert(f.name).second) << f.name;
      EXPECT_LE(f.offset + f.size, 2048u) << f.name;
    }
  }
}

// What the tabs, the remote's pages and the simulator take from the field
// tables: ranges and defaults, typed from what the cards accept.
TEST(SettingsFieldsTest, RangesAndDefaultsOfTheFieldTables) {
  struct Range {
    const char* name;
    const FieldRow& field;
    int min, max, defaultValue;
  } rows[] = {
      {"YOR310 offset 1", Yor310Image::kOffset1Field, 0, 480, 0},
      {"YOR310 offset 2", Yor310Image::kOffset2Field, 0, 480, 0},
      {"TWR310i level 1", Twr310iImage::kLevel1Field, -300, 100, 0},
      {"TWR310i level 2", Twr310iImage::kLevel2Field, -300, 100, 0},
      {"TWR310i channel 2", Twr310iImage::kAssign2Field, 0, 0, 1},
      {"QVO520 level 4", Qvo520Image::kLevelFields[3], -300, 100, 0},
      {"QVO520 channel 4", Qvo520Image::kAssignFields[3], 0, 0, 3},
      {"QVO520 mode", Qvo520Image::kModeField, 0, 0, 1},
      {"JOV520 LED", Jov520Image::kLedBrightnessField, 0, 100, 50},
      {"phono gain", PhonoImage::kGainField, 0, 120, 100},
      {"phono T4", PhonoImage::kTimeFields[3], 0, 16383, 0},
      {"phono selected slot", PhonoImage::kSelectedField, 0, 7, 0},
      {"main unit volume step", MainUnitImage::kVolumeStepField, 1, 10, 5},
      {"main unit alternative screen", MainUnitImage::kAltScreenField, 0, 3600, 300},
      {"main unit clock display", MainUnitImage::kClockDisplayField, 0, 0, 1},
      {"HEJ520 output rate", Hej520Image::kRateField, 0, 2, 1},
      {"HEJ520 channel 2", Hej520Image::kAssign2Field, 0, 0, 1},
  };
  for (const Range& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.field.min, r.min);
    EXPECT_EQ(r.field.max, r.max);
    EXPECT_EQ(r.field.defaultValue, r.defaultValue);
  }
  EXPECT_EQ(Yor310Image::kNameField.defaultText, "Offset");
  EXPECT_EQ(Twr310iImage::kNameField.defaultText, "Analog Out");
  EXPECT_EQ(Qvo520Image::kNameField.defaultText, "Output");
  EXPECT_EQ(Jov520Image::kNameField.defaultText, "CD Drive");
}

// A row that stands for several fields: the k-th one's offset, bits, number
// and default text.
TEST(SettingsFieldsTest, RepeatedRowsNumberTheirFields) {
  const FieldRow& cd = Hej520Image::kCdFields;
  EXPECT_EQ(cd.At(2).offset, 61u);
  EXPECT_EQ(cd.At(2).mask, 0x04u);
  EXPECT_EQ(cd.NameAt(2), "input 3 CD");
  const FieldRow& names = Hej520Image::kNameFields;
  EXPECT_EQ(names.At(1).offset, 24u);
  EXPECT_EQ(names.DefaultTextAt(1), "Input 2");
  // KLF310 channels count from 0, 48 bytes apart from byte 28.
  const auto& klf = FieldsFor(type::kKLF310);
  const auto name15 = std::find_if(
      klf.begin(), klf.end(), [](const SettingsField& f) { return f.name == "channel 15 name"; });
  ASSERT_NE(name15, klf.end());
  EXPECT_EQ(name15->offset, 28u + 15 * 48 + 24);
  // An input's fields come together in the compare's order.
  std::vector<std::string> first;
  for (const SettingsField& f : FieldsFor(type::kSIV520)) {
    if (first.size() < 5) first.push_back(f.name);
  }
  EXPECT_EQ(first, (std::vector<std::string>{"delivery date", "serial", "input 1 name",
                                             "input 1 switched off", "input 1 CD"}));
}

// The one text of a level every program shows.
TEST(SettingsFieldsTest, LevelText) {
  const std::pair<int, const char*> rows[] = {
      {-300, "-30.0 dB"}, {-125, "-12.5 dB"}, {-5, "-0.5 dB"},
      {0, "0.0 dB"},      {100, "10.0 dB"},   {480, "48.0 dB"},
  };
  for (const auto& [tenths, shown] : rows) EXPECT_EQ(LevelText(tenths), shown) << tenths;
}

}  // namespace
}  // namespace protocol::unit
