// The curve bin pinned against bytes written from its layout: a distinct
// value in every field, so a moved shift or mask fails here.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "protocol/klf/CurveBin.h"

namespace protocol::klf {
namespace {

// W0 = room1 0x123 | room2 0x2AB << 10 | room3 0x3C5 << 20 = 0x3C5AAD23;
// W1 = amplitude 0xDD (-3.5 dB) | phase -300 (0xED4) << 8 | room4 900 << 20
//    = 0x384ED4DD; both little-endian.
constexpr std::array<std::uint8_t, 8> kBinBytes = {0x23, 0xAD, 0x5A, 0x3C, 0xDD, 0xD4, 0x4E, 0x38};

CurveBin SampleBin() {
  CurveBin bin;
  bin.roomLevel = {0x123, 0x2AB, 0x3C5, 900};
  bin.amplitude = -35;
  bin.phase = -300;
  return bin;
}

TEST(CurveBinTest, EveryFieldAtItsBits) {
  EXPECT_EQ(SampleBin().Encode(), kBinBytes);
  EXPECT_EQ(CurveBin::Decode(kBinBytes), SampleBin());
}

TEST(CurveBinTest, PhaseExtremesKeepTheirSign) {
  for (int phase : {CurveBin::kMinPhase, -1, 0, 1, CurveBin::kMaxPhase}) {
    CurveBin bin;
    bin.phase = static_cast<std::int16_t>(phase);
    EXPECT_EQ(CurveBin::Decode(bin.Encode()).phase, phase) << phase;
  }
}

TEST(CurveBinTest, OutOfRangeFieldsNeverSpillIntoNeighbours) {
  CurveBin bin;
  bin.roomLevel = {0xFFFF, 0, 0, 0};
  bin.phase = 0x7FFF;
  const auto bytes = bin.Encode();
  const CurveBin back = CurveBin::Decode(bytes);
  EXPECT_EQ(back.roomLevel[1], 0);
  EXPECT_EQ(back.roomLevel[3], 0);
  EXPECT_EQ(back.amplitude, 0);
  EXPECT_EQ(bytes[3] & 0xC0, 0);  // bits 30-31 of W0 stay clear
  EXPECT_EQ(bytes[7] & 0xC0, 0);  // and of W1
}

TEST(CurveBinTest, LevelCodes) {
  struct Case {
    double db;
    std::uint16_t code;
  };
  const Case cases[] = {{-90.0, 0},
                        {0.0, 900},
                        {12.0, 1020},
                        {-3.55, 864},
                        {-95.0, 0},
                        {20.0, 1020},
                        {std::numeric_limits<double>::quiet_NaN(), 0}};
  for (const auto& c : cases) EXPECT_EQ(CurveBin::LevelCode(c.db), c.code) << c.db;
  EXPECT_DOUBLE_EQ(CurveBin::LevelDb(900), 0.0);
  EXPECT_DOUBLE_EQ(CurveBin::FrequencyHz(1), 23.4375);
}

TEST(CurveBinTest, ShortInputDecodesToAnEmptyBin) {
  const std::array<std::uint8_t, 7> shortBytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(CurveBin::Decode(shortBytes), CurveBin{});
}

}  // namespace
}  // namespace protocol::klf
