#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/Bytes.h"
#include "protocol/unit/DisplayRow.h"
#include "sim/CardModel.h"
#include "sim/DisplayRenderer.h"
#include "sim/cards/DisplaySettings.h"
#include "sim/cards/Klf310Versions.h"
#include "sim/cards/Qvo520Processors.h"

namespace sim {
namespace {

using platform::GetU16;
using platform::GetU32;

constexpr std::size_t kIdentity = 8;

std::int16_t GetI16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::int16_t>(GetU16(b, at));
}
float GetFloat(std::span<const std::uint8_t> b, std::size_t at) {
  return std::bit_cast<float>(GetU32(b, at));
}
// A name field as the pages read it: text up to the first NUL.
std::string NameAt(std::span<const std::uint8_t> b, std::size_t at, std::size_t size = 16) {
  std::string s;
  for (std::size_t i = 0; i < size && b[at + i] != 0; ++i)
    s.push_back(static_cast<char>(b[at + i]));
  return s;
}

// Request frame: code, length, module, arg1, arg2, arg3, data.
std::vector<std::uint8_t> Frame(std::uint8_t code, std::uint8_t arg1, std::uint8_t arg2,
                                std::vector<std::uint8_t> data = {}) {
  std::vector<std::uint8_t> f = {code, static_cast<std::uint8_t>(data.size()), 3, arg1, arg2, 0};
  f.insert(f.end(), data.begin(), data.end());
  return f;
}
std::vector<std::uint8_t> Words(std::initializer_list<int> words) {
  std::vector<std::uint8_t> d;
  for (int w : words) {
    d.push_back(static_cast<std::uint8_t>(w & 0xFF));
    d.push_back(static_cast<std::uint8_t>((w >> 8) & 0xFF));
  }
  return d;
}

// The highest byte the pages name for each type decides the least length it may announce.
struct LengthRow {
  std::uint8_t type;
  std::size_t minLength;
};
constexpr LengthRow kLengths[] = {
    {0, 108}, {1, 235}, {2, 46},  {3, 46}, {4, 63},  {5, 138},
    {6, 34},  {7, 123}, {8, 235}, {9, 28}, {10, 28}, {11, 798},
};

TEST(CardModelTest, EveryTypeCodeHasABoundedImageWithABlankIdentity) {
  for (int code = 0; code <= 255; ++code) {
    const auto type = static_cast<std::uint8_t>(code);
    SCOPED_TRACE("type " + std::to_string(code));
    const std::uint16_t length = DefaultSettingsLength(type);
    const std::vector<std::uint8_t> image = DefaultSettings(type);
    EXPECT_LE(length, 2048);
    ASSERT_EQ(image.size(), length);
    EXPECT_TRUE(std::all_of(image.begin(), image.begin() + std::min<std::size_t>(kIdentity, length),
                            [](std::uint8_t b) { return b == 0; }));

    const auto known = std::find_if(std::begin(kLengths), std::end(kLengths),
                                    [&](const LengthRow& r) { return r.type == type; });
    if (known != std::end(kLengths)) {
      EXPECT_GE(length, known->minLength);
    } else if (type == 16) {
      EXPECT_EQ(length, 0) << "the display has no settings image";
    } else {
      EXPECT_GT(length, kIdentity);
      EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 0; }));
    }
  }
}

TEST(CardModelTest, MainUnitOptionsMatchItemsOfThePageLists) {
  const auto image = DefaultSettings(kMainUnitType);
  // "0.1 dB", "0.2 dB", "0.5 dB", "1.0 dB"
  EXPECT_EQ(image[77], 5);
  // off, 5 sec ... 1 hour
  const std::set<std::uint16_t> altScreen = {0, 5, 15, 30, 60, 120, 300, 600, 1800, 3600};
  EXPECT_EQ(GetU16(image, 106), 300);
  EXPECT_TRUE(altScreen.contains(GetU16(image, 106)));
  EXPECT_EQ(GetU16(image, 64) & 0x0002, 0) << "English";
}

struct NameField {
  std::uint8_t type;
  std::size_t offset;
};
constexpr NameField kNameFields[] = {
    {1, 8}, {2, 8}, {3, 8},  {4, 8},  {4, 24}, {4, 40},  {5, 8}, {5, 24}, {5, 120},
    {6, 8}, {7, 8}, {7, 56}, {7, 72}, {7, 88}, {7, 104}, {8, 8}, {9, 8},  {10, 8},
};

struct LevelField {
  std::uint8_t type;
  std::size_t offset;
  int min;
  int max;
};
constexpr LevelField kLevelFields[] = {
    {6, 24, -300, 100}, {6, 32, -300, 100}, {10, 24, 0, 480},   {10, 26, 0, 480},
    {2, 24, -300, 100}, {2, 36, -300, 100}, {2, 38, -300, 100}, {2, 40, -300, 100},
    {3, 24, -300, 100}, {3, 40, -300, 100},
};

TEST(CardModelTest, CardNamesAndLevelsReadAsThePagesShowThem) {
  for (const NameField& f : kNameFields) {
    SCOPED_TRACE("type " + std::to_string(f.type) + " name at " + std::to_string(f.offset));
    const auto image = DefaultSettings(f.type);
    const std::string name = NameAt(image, f.offset);
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 15u);
    for (std::size_t i = name.size(); i < 16; ++i) EXPECT_EQ(image[f.offset + i], 0) << i;
  }
  for (const LevelField& f : kLevelFields) {
    SCOPED_TRACE("type " + std::to_string(f.type) + " level at " + std::to_string(f.offset));
    const auto image = DefaultSettings(f.type);
    const int level = GetI16(image, f.offset);
    EXPECT_GE(level, f.min);
    EXPECT_LE(level, f.max);
  }
  EXPECT_LE(DefaultSettings(9)[27], 100) << "JOV520 front LED";
  EXPECT_LE(DefaultSettings(4)[62], 2) << "HEJ520 data rate";
  EXPECT_LE(GetU16(DefaultSettings(2), 34), 1) << "QVO520 mode";
}

TEST(CardModelTest, PhonoCardsHoldEightNamedCurvesInRange) {
  for (std::uint8_t type : {std::uint8_t{1}, std::uint8_t{8}}) {
    SCOPED_TRACE("type " + std::to_string(type));
    const auto image = DefaultSettings(type);
    EXPECT_LE(image[24], 120) << "gain";
    EXPECT_LT(image[25], 8) << "selected slot";
    std::set<int> numbers;
    for (std::size_t k = 0; k < 8; ++k) {
      const std::size_t slot = 26 + 26 * k;
      const std::uint16_t word = GetU16(image, slot);
      EXPECT_EQ(word & 1, 1) << "slot " << k << " in use";
      EXPECT_EQ(word & ~0xFFu, 0u);
      numbers.insert((word >> 1) & 0x7F);
      for (std::size_t t = 0; t < 4; ++t) EXPECT_LE(GetU16(image, slot + 2 + 2 * t), 16383);
      EXPECT_FALSE(NameAt(image, slot + 10).empty()) << "slot " << k;
    }
    EXPECT_EQ(numbers.size(), 8u) << "curve numbers tell the slots apart";
    // RIAA corner of t1: 3180 usec / 50.0 Hz.
    EXPECT_EQ(NameAt(image, 26 + 10), "RIAA (IEC)");
    EXPECT_EQ(GetU16(image, 26 + 2), 3180);
  }
}

TEST(CardModelTest, Klf310ChannelTableFeedsTheChannelList) {
  const auto image = DefaultSettings(11);
  const unsigned count = GetU16(image, 796) & 0x1F;
  EXPECT_GE(count, 6u);
  EXPECT_LE(count, 16u);
  for (unsigned k = 1; k <= count && k <= 14; ++k) {
    // FillChannelList reads channel k-1's name at 4 + 48k.
    EXPECT_FALSE(NameAt(image, 4 + 48 * k, 24).empty()) << "channel " << k;
  }
  for (unsigned i = 0; i < 16; ++i) {
    SCOPED_TRACE("channel " + std::to_string(i));
    const std::size_t rec = 28 + 48 * i;
    const std::uint32_t flags = GetU32(image, rec);
    EXPECT_EQ(flags & 1, i < count ? 1u : 0u);
    const unsigned fraction = (flags >> 2) & 0x0F;
    EXPECT_GE(fraction, 1u);
    EXPECT_LE(fraction, 12u);
    EXPECT_EQ((flags >> 6) & 0x1F, i);
    EXPECT_LE(GetFloat(image, rec + 4), GetFloat(image, rec + 8));
    EXPECT_GE(GetFloat(image, rec + 12), 0.0F);
    EXPECT_LE(GetFloat(image, rec + 12), 1024.0F);
    EXPECT_EQ(image[rec + 47], 0) << "name terminated";
  }
  EXPECT_NE(image[14], 0) << "IP address set";
}

TEST(CardModelTest, Klf310DescriptorCarriesValidVersionEntries) {
  const auto bytes = cards::ModuleSpecificDescriptor(11);
  for (std::size_t entry : {std::size_t{0}, std::size_t{16}}) {
    SCOPED_TRACE("entry at descriptor " + std::to_string(20 + entry));
    EXPECT_EQ(GetU32(bytes, entry), 0x17081990u);
    const unsigned day = bytes[entry + 8], month = bytes[entry + 9];
    EXPECT_GE(day, 1u);
    EXPECT_LE(day, 31u);
    EXPECT_GE(month, 1u);
    EXPECT_LE(month, 12u);
    EXPECT_GE(GetU16(bytes, entry + 10), 2004);  // full year, not year - 2000
    EXPECT_LT(GetU16(bytes, entry + 6), 1000);   // shown with three digits
  }
  for (std::uint8_t type : {std::uint8_t{0}, std::uint8_t{2}, std::uint8_t{16}}) {
    const auto other = cards::ModuleSpecificDescriptor(type);
    EXPECT_TRUE(std::all_of(other.begin(), other.end(), [](std::uint8_t b) { return b == 0; }));
  }
}

TEST(CardModelTest, ProcessorRecordsDecodeAsTheOutputCardPageReadsThem) {
  std::set<std::uint16_t> serials;
  for (int index : {0, 1}) {
    SCOPED_TRACE("processor " + std::to_string(index));
    const auto r = cards::DefaultProcessorRecord(index);
    const int model = r[0] >> 1;
    EXPECT_GE(model, 1);  // a model with a name, else the page hides the processor
    EXPECT_LE(model, 6);
    EXPECT_NE(r[1], 0) << "component";
    const std::uint16_t date = GetU16(r, 2);
    EXPECT_GE(date & 0x1F, 1);
    EXPECT_GE((date >> 5) & 0x0F, 1);
    EXPECT_LE((date >> 5) & 0x0F, 12);
    EXPECT_GE(date >> 9, 4) << "year - 2000";
    const std::uint16_t version = GetU16(r, 4);
    const unsigned major = (version >> 1) & 0x1F, minor = version >> 6;
    EXPECT_FALSE(major == 0 && minor >= 1000 && minor <= 1998) << "would block updates";
    const std::size_t id = 12;
    EXPECT_EQ(r[id], 1);
    EXPECT_GE(r[id + 2], 1);
    EXPECT_LE(r[id + 2], 12);
    EXPECT_GE(r[id + 3], 1);
    EXPECT_LE(r[id + 3], 31);
    EXPECT_LT(GetU16(r, id + 4), 10000);
    serials.insert(GetU16(r, id + 4));
    EXPECT_TRUE(std::all_of(r.begin() + id + 8, r.end(), [](std::uint8_t b) { return b == 0; }));
  }
  EXPECT_EQ(serials.size(), 2u) << "each board has its own serial";
}

TEST(CardModelTest, DisplaySettingsStartWithinTheirRanges) {
  for (const protocol::unit::DisplayLevel& l : cards::DefaultDisplayLevels().levels) {
    EXPECT_LE(l.min, l.value);
    EXPECT_LE(l.value, l.max);
    EXPECT_LT(l.min, l.max);
  }
}

// Picture helpers: pixel x of a row as the display page decodes it.
bool Lit(const std::array<std::uint8_t, protocol::unit::DisplayRow::kSize>& row, std::size_t x) {
  return (GetU16(row, 2 + 2 * (x / 16)) & (0x8000 >> (x % 16))) != 0;
}
std::vector<std::array<std::uint8_t, protocol::unit::DisplayRow::kSize>> Picture(
    const DisplayContent& c) {
  std::vector<std::array<std::uint8_t, protocol::unit::DisplayRow::kSize>> rows;
  for (int y = 0; y < 128; ++y) rows.push_back(RenderDisplayRow(c, y));
  return rows;
}

TEST(CardModelTest, DisplayRowsFollowTheRowFormat) {
  const DisplayContent content{"MRX520", "CD", "-30.0 dB", 14, 7, true};
  const auto picture = Picture(content);
  for (const auto& row : picture) EXPECT_EQ(GetU16(row, 0), 0) << "word 0 is not drawn";
  // Frame: the top row lit across, a row below the text only its two edge pixels,
  // pixel 0 in bit 15 of word 1 and pixel 239 in bit 0 of word 15.
  for (std::size_t b = 2; b < protocol::unit::DisplayRow::kSize; ++b)
    EXPECT_EQ(picture[0][b], 0xFF) << b;
  std::array<std::uint8_t, protocol::unit::DisplayRow::kSize> edges{};
  edges[3] = 0x80;
  edges[30] = 0x01;
  EXPECT_EQ(picture[125], edges);
  // Rows outside the display are empty rather than undefined.
  EXPECT_EQ(RenderDisplayRow(content, 128),
            (std::array<std::uint8_t, protocol::unit::DisplayRow::kSize>{}));
  EXPECT_EQ(RenderDisplayRow(content, -1),
            (std::array<std::uint8_t, protocol::unit::DisplayRow::kSize>{}));
}

TEST(CardModelTest, DisplayPictureShowsTheContentReadably) {
  const DisplayContent on{"MRX520", "CD", "-30.0 dB", 14, 7, true};
  DisplayContent lower = on;
  lower.line1 = "mrx520";
  EXPECT_EQ(Picture(lower), Picture(on)) << "lower case shows as upper case";
  DisplayContent otherSource = on;
  otherSource.line2 = "Tuner";
  EXPECT_NE(Picture(otherSource), Picture(on));
  DisplayContent later = on;
  later.minute = 8;
  EXPECT_NE(Picture(later), Picture(on)) << "the clock is drawn";

  // Standby: the clock alone, no frame and no text.
  DisplayContent off = on;
  off.powerOn = false;
  DisplayContent offOtherText = off;
  offOtherText.line1 = "Something else";
  const auto standby = Picture(off);
  EXPECT_EQ(standby, Picture(offOtherText));
  EXPECT_FALSE(Lit(standby[0], 120));
  EXPECT_FALSE(Lit(standby[64], 0));
  std::size_t lit = 0;
  for (const auto& row : standby)
    for (std::size_t x = 0; x < 240; ++x) lit += Lit(row, x) ? 1 : 0;
  EXPECT_GT(lit, 100u) << "a clock big enough to read";
  off.hour = 9;
  EXPECT_NE(Picture(off), standby);
}

// One live command sent to a fresh card and the image fields it must change; every
// other byte must stay as it was.
struct LiveCase {
  const char* name;
  std::uint8_t type;
  std::vector<std::uint8_t> frame;
  std::vector<std::pair<std::size_t, std::uint16_t>> u16Changes;
  std::vector<std::pair<std::size_t, std::uint8_t>> u8Changes;
};

TEST(CardModelTest, LiveValuesLandWhereThePagesKeepThem) {
  const std::vector<LiveCase> cases = {
      {"TWR310i levels",
       6,
       Frame(157, 0, 0, Words({-125, 50, 0, 0})),
       {{24, 0xFF83}, {32, 50}},
       {}},
      {"TWR310i channels", 6, Frame(171, 0, 0, Words({9, 4, 0, 0})), {{28, 9}, {30, 4}}, {}},
      {"YOR310 offsets", 10, Frame(157, 0, 0, Words({480, 120, 0, 0})), {{24, 480}, {26, 120}}, {}},
      {"HEJ520 channels", 4, Frame(171, 0, 0, Words({8, 21, 0, 0})), {{56, 8}, {58, 21}}, {}},
      {"QVO520 levels in slider order",
       2,
       Frame(157, 0, 0, Words({-10, -20, -30, 40})),
       {{24, 0xFFF6}, {36, 0xFFEC}, {38, 0xFFE2}, {40, 40}},
       {}},
      {"QVO520 channels in list order",
       2,
       Frame(171, 0, 0, Words({5, 6, 7, 8})),
       {{28, 5}, {30, 6}, {42, 7}, {44, 8}},
       {}},
      {"QVO520 mode", 2, Frame(172, 0, 0, Words({0})), {{34, 0}}, {}},
      {"QVO520 second type code",
       3,
       Frame(157, 0, 0, Words({1, 2, 3, 4})),
       {{24, 1}, {36, 2}, {38, 3}, {40, 4}},
       {}},
      {"QVI520 gain", 1, Frame(159, 0, 77), {}, {{24, 77}}},
      {"BUZ310 gain", 8, Frame(159, 0, 120), {}, {{24, 120}}},
      {"JOV520 front LED", 9, Frame(170, 0, 80), {}, {{27, 80}}},
      // Curve 3 selected: slot 3 becomes the selection and takes the time constants.
      {"BUZ310 curve selected",
       8,
       Frame(160, 0, 0, Words({(3 << 1) | 0x100, 1, 2, 3, 4})),
       {{26 + 78 + 2, 1}, {26 + 78 + 4, 2}, {26 + 78 + 6, 3}, {26 + 78 + 8, 4}},
       {{25, 3}}},
      // Adjusting the selected curve (slot 0) changes its times, not the selection.
      {"QVI520 curve adjusted",
       1,
       Frame(160, 0, 0, Words({0, 3000, 318, 75, 7950})),
       {{26 + 2, 3000}},
       {}},
      {"KLF310 channel record",
       11,
       Frame(175, 2, 0,
             [] {
               std::vector<std::uint8_t> d = Words({1});
               for (int i = 0; i < 46; ++i) d.push_back(static_cast<std::uint8_t>(0xA0 + i));
               return d;
             }()),
       {},
       [] {
         std::vector<std::pair<std::size_t, std::uint8_t>> c;
         for (std::size_t i = 0; i < 46; ++i) c.emplace_back(28 + 96 + i, 0xA0 + i);
         return c;
       }()},
  };
  for (const LiveCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> image = DefaultSettings(c.type);
    std::vector<std::uint8_t> expected = image;
    for (const auto& [at, v] : c.u16Changes) platform::PutU16(expected, at, v);
    for (const auto& [at, v] : c.u8Changes) expected[at] = v;
    EXPECT_TRUE(ApplyLiveValue(c.type, c.frame, image));
    EXPECT_EQ(image, expected);
  }
}

TEST(CardModelTest, LiveValuesATypeDoesNotTakeLeaveTheImageAlone) {
  struct Row {
    const char* name;
    std::uint8_t type;
    std::vector<std::uint8_t> frame;
  };
  const std::vector<Row> rows = {
      {"SIV520 levels", 5, Frame(157, 0, 0, Words({1, 2, 3, 4}))},
      {"main unit levels", 0, Frame(157, 0, 0, Words({1, 2, 3, 4}))},
      {"TWR310i mode", 6, Frame(172, 0, 0, Words({1}))},
      {"QVO520 equaliser gain", 2, Frame(159, 0, 50)},
      {"NVO310 JOV value", 7, Frame(170, 0, 50)},
      {"unknown type", 12, Frame(157, 0, 0, Words({1, 2, 3, 4}))},
      {"levels frame cut short", 6, Frame(157, 0, 0, Words({1}))},
      {"KLF310 channel beyond the table", 11, Frame(175, 16, 0, std::vector<std::uint8_t>(48))},
      {"header only", 2, {157, 8, 3}},
      // Values outside a field's range: no word of the command is taken.
      {"TWR310i level above +10 dB", 6, Frame(157, 0, 0, Words({0, 101, 0, 0}))},
      {"QVO520 level 4 below -30 dB", 2, Frame(157, 0, 0, Words({-10, -20, -30, -301}))},
      {"YOR310 offset below 0 dB", 10, Frame(157, 0, 0, Words({-1, 0, 0, 0}))},
      {"QVI520 gain above 12 dB", 1, Frame(159, 0, 121)},
      {"JOV520 LED above 100 %", 9, Frame(170, 0, 101)},
      {"BUZ310 curve time above 16383 us", 8, Frame(160, 0, 0, Words({0, 16384, 318, 75, 0}))},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::uint8_t> image = DefaultSettings(r.type);
    const std::vector<std::uint8_t> before = image;
    EXPECT_FALSE(ApplyLiveValue(r.type, r.frame, image));
    EXPECT_EQ(image, before);
  }
}

}  // namespace
}  // namespace sim
