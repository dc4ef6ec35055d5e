// A measurement tool's text export put into one column of the curve.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/klf/MeasurementText.h"

namespace protocol::klf {
namespace {

constexpr const char* kExport =
    "* Measurement export\r\n"
    "# Freq(Hz)  SPL(dB)  Phase(deg)\r\n"
    "\r\n"
    "23.4375  -6.0  10\r\n"
    "93.75  6.0  50\r\n"
    "1000  20  -3000\r\n";

TEST(MeasurementTextTest, InterpolatesOverLogFrequencyIntoTheChosenColumn) {
  const auto parsed = MeasurementText::Parse(kExport);
  ASSERT_TRUE(parsed.ok) << parsed.error.line << ": " << parsed.error.message;
  ASSERT_EQ(parsed.points.size(), 3u);

  std::vector<CurveBin> bins(CurveBin::kBinCount);
  for (auto& b : bins) b.phase = 7;
  ASSERT_TRUE(MeasurementText::ApplyToColumn(parsed.points, 3, bins));  // room 1
  // Bin 2 (46.875 Hz) is halfway between 23.4375 and 93.75 Hz on a log scale.
  EXPECT_EQ(bins[0].roomLevel[0], 840);  // below the range: the first point, -6 dB
  EXPECT_EQ(bins[1].roomLevel[0], 840);
  EXPECT_EQ(bins[2].roomLevel[0], 900);     // 0 dB
  EXPECT_EQ(bins[4].roomLevel[0], 960);     // +6 dB
  EXPECT_EQ(bins[100].roomLevel[0], 1020);  // clamped to +12 dB
  EXPECT_EQ(bins[5].phase, 7);              // other columns untouched
  EXPECT_EQ(bins[5].roomLevel[1], 0);

  ASSERT_TRUE(MeasurementText::ApplyToColumn(parsed.points, 2, bins));  // phase
  EXPECT_EQ(bins[2].phase, 30);
  EXPECT_EQ(bins[2047].phase, -2000);  // clamped
}

TEST(MeasurementTextTest, BadExportsNameTheirLine) {
  struct Case {
    const char* name;
    const char* text;
    int line;
  };
  const Case cases[] = {{"header without comment mark", "Freq SPL\n100 1\n", 1},
                        {"frequency falls", "100 1\n200 2\n150 3\n", 3},
                        {"zero hertz", "0 1\n", 1},
                        {"level missing", "100 1\n200\n", 2},
                        {"decimal comma", "100 1,5\n", 1},
                        {"nothing measured", "# only a note\n", 1}};
  for (const Case& c : cases) {
    const auto parsed = MeasurementText::Parse(c.text);
    EXPECT_FALSE(parsed.ok) << c.name;
    EXPECT_EQ(parsed.error.line, c.line) << c.name;
  }
}

TEST(MeasurementTextTest, PhaseNeedsAPhaseColumnAndColumnsAreChecked) {
  const auto parsed = MeasurementText::Parse("100 1\n200 2\n");
  ASSERT_TRUE(parsed.ok);
  std::vector<CurveBin> bins(4);
  EXPECT_FALSE(MeasurementText::ApplyToColumn(parsed.points, 2, bins));
  EXPECT_FALSE(MeasurementText::ApplyToColumn(parsed.points, 0, bins));
  EXPECT_FALSE(MeasurementText::ApplyToColumn(parsed.points, 7, bins));
  EXPECT_EQ(bins[0], CurveBin{});
  ASSERT_TRUE(MeasurementText::ApplyToColumn(parsed.points, 1, bins));
  EXPECT_EQ(bins[0].amplitude, 10);  // 1.0 dB in tenths
}

}  // namespace
}  // namespace protocol::klf
