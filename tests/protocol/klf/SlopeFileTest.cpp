// Slope text files: the exact export text, the import rules (markers,
// comments, clamping, defaults), and that a broken file changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>

#include "protocol/klf/SlopeFile.h"

namespace protocol::klf {
namespace {

CurveBin Bin(int amplitude, int phase, std::array<std::uint16_t, 4> rooms) {
  CurveBin bin;
  bin.amplitude = static_cast<std::int8_t>(amplitude);
  bin.phase = static_cast<std::int16_t>(phase);
  bin.roomLevel = rooms;
  return bin;
}

TEST(SlopeFileTest, ExportIsTheFixedTextWithCrLf) {
  const CurveBin bins[] = {Bin(0, 0, {900, 900, 900, 900}), Bin(-35, -300, {0, 1020, 1, 899}),
                           Bin(120, 2000, {901, 900, 900, 900})};
  const std::string expected =
      "[SLOPE]\r\n"
      ";Freq  Amplitude    Phase  Room 1  Room 2  Room 3  Room 4\r\n"
      "    0        0.0      0.0     0.0     0.0     0.0     0.0\r\n"
      "   23       -3.5   -300.0   -90.0    12.0   -89.9    -0.1\r\n"
      "   47       12.0   2000.0     0.1     0.0     0.0     0.0\r\n";
  EXPECT_EQ(SlopeFile::Write(bins), expected);
}

TEST(SlopeFileTest, ProposedNameCarriesIndexAndName) {
  EXPECT_EQ(SlopeFile::ProposedFileName(3, "Front"), "0000-CH03-Front.txt");
  EXPECT_EQ(SlopeFile::ProposedFileName(12, "Sub L"), "0000-CH12-Sub L.txt");
}

TEST(SlopeFileTest, ExportThenImportKeepsEveryCode) {
  // Every room code, amplitude and a spread of phases survive the text.
  std::vector<CurveBin> bins(CurveBin::kBinCount);
  for (int k = 0; k < CurveBin::kBinCount; ++k) {
    const auto code = static_cast<std::uint16_t>(k % 1021);
    bins[static_cast<std::size_t>(k)] = Bin(k % 241 - 120, std::clamp(k * 2 - 2047, -2000, 2000),
                                            {code, static_cast<std::uint16_t>(1020 - code),
                                             static_cast<std::uint16_t>((code * 7) % 1021),
                                             static_cast<std::uint16_t>((code * 13) % 1021)});
  }
  const SlopeFile::Parsed parsed = SlopeFile::Parse(SlopeFile::Write(bins));
  ASSERT_TRUE(parsed.ok) << parsed.error.line << ": " << parsed.error.message;
  ASSERT_EQ(parsed.rows.size(), bins.size());
  std::vector<CurveBin> back(CurveBin::kBinCount);
  SlopeFile::ApplyTo(parsed.rows, back);
  for (std::size_t k = 0; k < bins.size(); ++k) ASSERT_EQ(back[k], bins[k]) << "row " << k + 1;
}

struct ImportCase {
  const char* name;
  std::string text;
  std::vector<SlopeRow> rows;
};

SlopeRow Row(double amplitude, double phase, double r1, double r2 = 0, double r3 = 0,
             double r4 = 0) {
  return SlopeRow{amplitude, phase, {r1, r2, r3, r4}};
}

void PrintTo(const ImportCase& c, std::ostream* out) {
  *out << c.name;
}

class SlopeImportTest : public testing::TestWithParam<ImportCase> {};

TEST_P(SlopeImportTest, FillsRowsInFileOrder) {
  const SlopeFile::Parsed parsed = SlopeFile::Parse(GetParam().text);
  ASSERT_TRUE(parsed.ok) << parsed.error.line << ": " << parsed.error.message;
  ASSERT_EQ(parsed.rows.size(), GetParam().rows.size());
  for (std::size_t i = 0; i < parsed.rows.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i + 1));
    EXPECT_DOUBLE_EQ(parsed.rows[i].amplitude, GetParam().rows[i].amplitude);
    EXPECT_DOUBLE_EQ(parsed.rows[i].phase, GetParam().rows[i].phase);
    for (std::size_t r = 0; r < 4; ++r)
      EXPECT_DOUBLE_EQ(parsed.rows[i].room[r], GetParam().rows[i].room[r]);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SlopeImportTest,
    testing::Values(
        ImportCase{"ClampsEveryColumn", "1000 15.0 2500 -100 0 0\n", {Row(12.0, 2000.0, -90.0)}},
        ImportCase{
            "ClampsTheLowEnds", "0 -15 -2500 13 13 13 13\n", {Row(-12.0, -2000.0, 12, 12, 12, 12)}},
        ImportCase{"LastFourDefaultToZero", "23\t1.5\t-10\t-3\n", {Row(1.5, -10.0, -3.0)}},
        ImportCase{
            "CommentsAndBlankLinesSkipped",
            "; a note\r\n\r\n[SLOPE]\r\n;Freq\r\n0 1 2 3 4 5 6\r\n   \r\n23 -1 -2 -3 -4 -5 -6\r\n",
            {Row(1, 2, 3, 4, 5, 6), Row(-1, -2, -3, -4, -5, -6)}},
        ImportCase{"SecondMarkerStartsAtRowOneAgain",
                   "[SLOPE]\n0 1 0 0\n23 2 0 0\n47 3 0 0\n[SLOPE]\n0 9 0 0\n",
                   {Row(9, 0, 0), Row(2, 0, 0), Row(3, 0, 0)}},
        ImportCase{"ValuesShownWithOneDecimal", "0 3.45 10.04 -89.94\n", {Row(3.5, 10.0, -89.9)}},
        ImportCase{"PlusSignAndExponent", "+0 +1e0 -2E1 0\n", {Row(1.0, -20.0, 0.0)}},
        ImportCase{"TrailingTextAfterFourNumbersIgnored", "0 1 2 3 dB\n", {Row(1, 2, 3)}},
        ImportCase{"EmptyFileChangesNothing", "", {}}),
    [](const testing::TestParamInfo<ImportCase>& row) { return std::string(row.param.name); });

TEST(SlopeFileTest, RowsPastTheTableAreIgnored) {
  std::string text = "[SLOPE]\n";
  for (int k = 0; k < SlopeFile::kRowCount + 5; ++k) text += "0 1 0 0\n";
  const SlopeFile::Parsed parsed = SlopeFile::Parse(text);
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.rows.size(), static_cast<std::size_t>(SlopeFile::kRowCount));
}

TEST(SlopeFileTest, BrokenLineFailsTheWholeImportAndIsNamed) {
  struct Case {
    const char* name;
    std::string text;
    int line;
  };
  const Case cases[] = {
      {"ThreeNumbers", "[SLOPE]\n0 1 2 3\n23 1 2\n", 3},
      {"DecimalComma", "[SLOPE]\r\n;x\r\n0 1,5 2 3\r\n", 3},
      {"Words", "[SLOPE]\nfreq amp phase room\n", 2},
      {"MarkerWithTrailingSpace", "[SLOPE] \n0 1 2 3\n", 1},
      {"NotANumber", "0 nan 0 0\n", 1},
      {"Infinite", "0 1 inf 0\n", 1},
      {"OutOfDoubleRange", "0 1e999 0 0\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SlopeFile::Parsed parsed = SlopeFile::Parse(c.text);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.error.line, c.line);
    EXPECT_FALSE(parsed.error.message.empty());
    EXPECT_TRUE(parsed.rows.empty());
  }
}

TEST(SlopeFileTest, ApplyToChangesOnlyTheRowsTheFileNamed) {
  std::vector<CurveBin> bins(4, Bin(7, 7, {7, 7, 7, 7}));
  const SlopeFile::Parsed parsed = SlopeFile::Parse("0 -3.5 -300 -90 12 -89.9 -0.1\n");
  ASSERT_TRUE(parsed.ok);
  SlopeFile::ApplyTo(parsed.rows, bins);
  EXPECT_EQ(bins[0], Bin(-35, -300, {0, 1020, 1, 899}));
  EXPECT_EQ(bins[1], Bin(7, 7, {7, 7, 7, 7}));
}

TEST(SlopeFileTest, CellRules) {
  struct Case {
    int column;
    double typed;
    const char* shown;
  };
  const Case cases[] = {{0, 23.4375, "   23"}, {1, 15.0, " 12.0"},        {1, -3.45, " -3.5"},
                        {2, -2500, "-2000.0"}, {2, 12.34, "   12.3"},     {3, -100, "-90.0"},
                        {6, 12.05, " 12.0"},   {4, std::nan(""), "  0.0"}};
  for (const Case& c : cases) {
    EXPECT_EQ(SlopeFile::CellText(c.column, c.typed), c.shown) << c.column << " " << c.typed;
  }
}

}  // namespace
}  // namespace protocol::klf
