#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "desktop/roomcorrection/CFilterDesign.h"
#include "tests/desktop/roomcorrection/RecordingCanvas.h"

namespace desktop::roomcorrection {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The graph is large; tests keep it on the heap like the pages do.
std::unique_ptr<CFilterDesign> MakeDesign(double lowest, double highest) {
  auto design = std::make_unique<CFilterDesign>();
  EXPECT_TRUE(design->SetFrequencyRange(lowest, highest));
  return design;
}

// Texts of the level labels, top to bottom: right-aligned against the 2-pixel
// ticks left of the axis.
std::vector<std::string> LevelLabels(const RecordingCanvas& canvas, const GraphRect& plot) {
  std::vector<RecordingCanvas::Text> found;
  for (const auto& t : canvas.texts) {
    if (t.at.x + t.size.width == plot.left - 3 && t.at.y > 0) found.push_back(t);
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.at.y < b.at.y; });
  std::vector<std::string> labels;
  for (const auto& t : found) labels.push_back(t.text);
  return labels;
}

// Texts of the frequency labels: on the row below the plot, left of "Hz".
std::vector<std::string> FrequencyLabels(const RecordingCanvas& canvas, const GraphRect& plot) {
  std::vector<std::string> labels;
  for (const auto& t : canvas.texts) {
    if (t.at.y == plot.bottom + 1) labels.push_back(t.text);
  }
  return labels;
}

int DottedVerticalLines(const RecordingCanvas& canvas) {
  int count = 0;
  for (const auto& line : canvas.lines) {
    count += line.pen.style == GraphPenStyle::Dotted && line.from.x == line.to.x;
  }
  return count;
}

TEST(CFilterDesign, ConstructionGivesTheDefaultAxisAndClearedSlots) {
  const auto design = std::make_unique<CFilterDesign>();
  EXPECT_EQ(design->Frequencies().front(), 5.0);
  EXPECT_EQ(design->Frequencies().back(), 30000.0);
  EXPECT_EQ(design->MarkerIndex(), -1);
  const GraphColour expected[CFilterDesign::kBandSlots] = {
      {200, 0, 0},     {0, 200, 0}, {0, 0, 200}, {200, 200, 0}, {200, 0, 200}, {0, 200, 200},
      {200, 200, 200}, {0, 0, 0},   {0, 0, 0},   {0, 0, 0},     {0, 0, 0},     {0, 0, 0},
      {0, 0, 0},       {0, 0, 0},   {0, 0, 0},   {0, 0, 0}};
  for (int slot = 0; slot < CFilterDesign::kBandSlots; ++slot) {
    SCOPED_TRACE("slot " + std::to_string(slot));
    EXPECT_EQ(design->Band(slot).active, 0);
    EXPECT_EQ(design->Band(slot).penStyle, 0);
    EXPECT_EQ(design->Band(slot).colour, expected[slot]);
  }
}

TEST(CFilterDesign, AxisIsLogarithmicBetweenTheEnds) {
  const auto design = MakeDesign(0.5, 96000);
  const auto& f = design->Frequencies();
  ASSERT_EQ(f.size(), 2048u);
  EXPECT_EQ(f[0], 0.5);
  EXPECT_EQ(f[2047], 96000.0);
  EXPECT_NEAR(f[1023], 218.4, 0.05);
  // Equal ratios from point to point.
  const double ratio = f[1] / f[0];
  for (std::size_t k = 1; k < f.size(); ++k) ASSERT_NEAR(f[k] / f[k - 1], ratio, 1e-9) << k;
}

TEST(CFilterDesign, RefusesRangesWithoutAnAxis) {
  struct Case {
    const char* name;
    double lowest;
    double highest;
  };
  const Case cases[] = {{"zero lowest", 0, 1000},       {"negative lowest", -5, 1000},
                        {"descending", 1000, 10},       {"NaN", kNaN, 1000},
                        {"infinite highest", 10, kInf}, {"NaN highest", 10, kNaN}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto design = std::make_unique<CFilterDesign>();
    EXPECT_FALSE(design->SetFrequencyRange(c.lowest, c.highest));
    EXPECT_EQ(design->Frequencies().front(), 5.0);
    EXPECT_EQ(design->Frequencies().back(), 30000.0);
  }
}

TEST(CFilterDesign, EqualizerResponseOfFactoryCurves) {
  struct Case {
    const char* name;
    std::uint16_t t1, t2, t3, t4;
    double hz;
    double db;
  };
  const Case cases[] = {
      {"RIAA (IEC) at 20 Hz", 3180, 318, 75, 7950, 20, 16.3},
      {"RIAA (IEC) at 1 kHz", 3180, 318, 75, 7950, 1000, 0.1},
      {"RIAA (IEC) at 20 kHz", 3180, 318, 75, 7950, 20000, -19.5},
      // A disabled t4 (16383 µs) takes 0.9 dB off plain RIAA's +19.3 dB.
      {"RIAA at 20 Hz", 3180, 318, 75, 0, 20, 18.4},
      {"NAB at 10 kHz", 0, 318, 100, 0, 10000, -16.1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(CFilterDesign::EqualizerResponse(c.hz, c.t1, c.t2, c.t3, c.t4), c.db, 0.05);
  }
}

TEST(CFilterDesign, StoresTheResponseOfEveryGridPoint) {
  // 20 Hz and 20 kHz are grid points on this axis.
  const auto design = MakeDesign(20, 20000);
  design->SetTimeConstants(3180, 318, 75, 7950);
  EXPECT_NEAR(design->Response()[0], 16.3, 0.05);
  EXPECT_NEAR(design->Response()[2047], -19.5, 0.05);
  // A new range moves the stored values with the grid.
  ASSERT_TRUE(design->SetFrequencyRange(1000, 20000));
  EXPECT_NEAR(design->Response()[0], 0.1, 0.05);
}

TEST(CFilterDesign, ZeroTimeConstantIsComputedAs16383) {
  const auto design = MakeDesign(5, 30000);
  design->SetTimeConstants(3180, 318, 75, 0);
  EXPECT_EQ(design->TimeConstants()[3], 16383);
  // By hand with t4 = 16383 µs at 5 Hz (7.64 dB with the IEC's 7950 µs).
  EXPECT_NEAR(design->Response()[0], 13.1676, 1e-4);
}

TEST(CFilterDesign, TimeConstantToHz) {
  struct Case {
    const char* name;
    double t;
    double hz;
  };
  const Case cases[] = {{"mid range 318", 318, 500.5},
                        {"bass 3180", 3180, 50.05},
                        {"high range 75", 75, 2122.07},
                        {"disabled 16383", 16383, 9.71}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(CFilterDesign::TimeConstantToHz(c.t), c.hz, 0.05);
  }
}

TEST(CFilterDesign, BandRisesAndFallsLinearlyInGain) {
  const auto design = MakeDesign(0.5, 96000);
  design->SetBand(0, 1, 100, 1000, 1);
  const auto& band = design->Band(0);
  EXPECT_DOUBLE_EQ(band.risingLow, 50);
  EXPECT_DOUBLE_EQ(band.risingHigh, 150);
  EXPECT_DOUBLE_EQ(band.fallingLow, 500);
  EXPECT_DOUBLE_EQ(band.fallingHigh, 1500);
  int below = 0, rising = 0, plateau = 0, falling = 0, above = 0;
  for (std::size_t k = 0; k < 2048; ++k) {
    const double f = design->Frequencies()[k];
    const double db = band.response[k];
    SCOPED_TRACE(std::to_string(f) + " Hz");
    if (f < 50) {
      ASSERT_DOUBLE_EQ(db, -140);
      ++below;
    } else if (f <= 150) {
      ASSERT_NEAR(db, 20 * std::log10(std::max((f - 50) / 100, 1e-7)), 1e-9);
      ++rising;
    } else if (f <= 500) {
      ASSERT_NEAR(db, 0, 1e-12);
      ++plateau;
    } else if (f <= 1500) {
      ASSERT_NEAR(db, 20 * std::log10(std::max(1 - (f - 500) / 1000, 1e-7)), 1e-9);
      ++falling;
    } else {
      ASSERT_DOUBLE_EQ(db, -140);
      ++above;
    }
  }
  EXPECT_GT(below, 0);
  EXPECT_GT(rising, 0);
  EXPECT_GT(plateau, 0);
  EXPECT_GT(falling, 0);
  EXPECT_GT(above, 0);
}

TEST(CFilterDesign, ExactOuterBandEdgesAreFinite) {
  // Point 0 falls on the rising edge's foot, point 2047 on the falling edge's.
  const auto design = MakeDesign(50, 1500);
  design->SetBand(3, 1, 100, 1000, 1);
  const auto& response = design->Band(3).response;
  EXPECT_DOUBLE_EQ(response[0], -140);
  EXPECT_DOUBLE_EQ(response[2047], -140);
  for (double db : response) ASSERT_TRUE(std::isfinite(db));
}

TEST(CFilterDesign, OctaveFractionSetsTheEdges) {
  struct Case {
    const char* name;
    int c;
    double risingLow;
    double fallingHigh;
  };
  const double half = 1 - 1 / std::sqrt(2.0);
  const double twelfth = 1 - 1 / std::pow(2.0, 1.0 / 12);
  const Case cases[] = {{"1 Octave", 1, 100 * 0.5, 1000 * 1.5},
                        {"1/2 Octave", 2, 100 * (1 - half), 1000 * (1 + half)},
                        {"1/12 Octave", 12, 100 * (1 - twelfth), 1000 * (1 + twelfth)},
                        {"0 is held at 1", 0, 100 * 0.5, 1000 * 1.5},
                        {"-3 is held at 1", -3, 100 * 0.5, 1000 * 1.5},
                        {"13 is held at 12", 13, 100 * (1 - twelfth), 1000 * (1 + twelfth)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto design = MakeDesign(0.5, 96000);
    design->SetBand(5, 1, 100, 1000, c.c);
    EXPECT_DOUBLE_EQ(design->Band(5).risingLow, c.risingLow);
    EXPECT_DOUBLE_EQ(design->Band(5).fallingHigh, c.fallingHigh);
    for (double db : design->Band(5).response) ASSERT_TRUE(std::isfinite(db));
  }
}

TEST(CFilterDesign, IgnoresSlotsOutsideTheSixteen) {
  const auto design = MakeDesign(0.5, 96000);
  design->SetBand(-1, 1, 100, 1000, 1);
  design->SetBand(16, 1, 100, 1000, 1);
  for (int slot = 0; slot < CFilterDesign::kBandSlots; ++slot) {
    EXPECT_EQ(design->Band(slot).active, 0) << slot;
  }
}

TEST(CFilterDesign, LevelRangeFollowsTheLargestValue) {
  struct Case {
    const char* name;
    std::uint16_t t1, t2, t3, t4;
    int height;
    int lines;
    std::vector<std::string> labels;  // top to bottom
  };
  const Case cases[] = {
      // −19.5 … +18.5 dB: E = 21.
      {"TELDEC",
       3180,
       318,
       50,
       0,
       380,
       13,
       {" 18", " 15", " 12", "  9", "  6", "  3", "  0", " -3", " -6", " -9", "-12", "-15", "-18"}},
      // −23.0 … +17.1 dB: E = 25, multiples of 3 from −22 up to 24; the label
      // of +24 dB would touch "dB" above it.
      {"RIAA (IEC)",
       3180,
       318,
       75,
       7950,
       380,
       16,
       {" 21", " 18", " 15", " 12", "  9", "  6", "  3", "  0", " -3", " -6", " -9", "-12", "-15",
        "-18", "-21"}},
      // 5.7 pixels between lines, 14 for a label: every third line, from 0 dB.
      {"RIAA (IEC) on a low graph",
       3180,
       318,
       75,
       7950,
       120,
       16,
       {" 18", "  9", "  0", " -9", "-18"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto design = MakeDesign(5, 30000);
    design->SetTimeConstants(c.t1, c.t2, c.t3, c.t4);
    RecordingCanvas canvas(900, c.height);
    design->DrawResponse(canvas);
    const GraphRect plot = design->PlotRect();
    EXPECT_EQ(plot, (GraphRect{26, 10, 890, c.height - 15}));
    EXPECT_EQ(LevelLabels(canvas, plot), c.labels);
    // One line per level; the 0 dB line is the solid one, halfway down the plot.
    int levelLines = 0;
    int solid = 0;
    for (const auto& line : canvas.lines) {
      if (line.from.y != line.to.y || line.to.x != plot.right || line.from.x <= plot.left) continue;
      ++levelLines;
      if (line.pen.style == GraphPenStyle::Solid) {
        EXPECT_EQ(line.pen.colour, (GraphColour{128, 128, 128}));
        EXPECT_NEAR(line.from.y, (plot.top + plot.bottom) / 2.0, 1);
        ++solid;
      }
    }
    EXPECT_EQ(solid, 1);
    EXPECT_EQ(levelLines, c.lines);
    ASSERT_EQ(canvas.polylines.size(), 1u);
    for (const GraphPoint& p : canvas.polylines[0].points) {
      ASSERT_TRUE(plot.Contains(p.x, p.y)) << p.x << "," << p.y;
    }
  }
}

TEST(CFilterDesign, FrequencyTicksAndLabelsOfEachStyle) {
  struct Case {
    const char* name;
    double lowest, highest;
    bool bands;
    int gridLines;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      // 30000 Hz is the last point, beyond point 2046: not drawn.
      {"equaliser on 5 Hz … 30 kHz",
       5,
       30000,
       false,
       24,
       {"10", "50", "100", "1000", "10k", "20k"}},
      {"equaliser on 0.5 Hz … 96 kHz",
       0.5,
       96000,
       false,
       25,
       {"10", "50", "100", "1000", "10k", "20k", "30k"}},
      // 100000 Hz lies beyond the axis.
      {"bands on 0.5 Hz … 96 kHz",
       0.5,
       96000,
       true,
       29,
       {"10", "50", "100", "500", "1000", "10k", "50k"}},
      // 10 and 50 Hz lie below the axis.
      {"bands on 60 Hz … 96 kHz", 60, 96000, true, 27, {"100", "500", "1000", "10k", "50k"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto design = MakeDesign(c.lowest, c.highest);
    RecordingCanvas canvas(1200, 300);
    c.bands ? design->DrawBands(canvas) : design->DrawResponse(canvas);
    EXPECT_EQ(DottedVerticalLines(canvas), c.gridLines);
    EXPECT_EQ(FrequencyLabels(canvas, design->PlotRect()), c.labels);
    // A label sits 2 pixels right of its dotted line.
    for (const std::string& label : c.labels) {
      const auto* text = canvas.FindText(label);
      bool onLine = false;
      for (const auto& line : canvas.lines) {
        onLine |= line.pen.style == GraphPenStyle::Dotted && line.from.x + 2 == text->at.x;
      }
      EXPECT_TRUE(onLine) << label;
    }
  }
}

TEST(CFilterDesign, CrowdedFrequencyLabelsAreLeftOutNotOverlapped) {
  const auto design = MakeDesign(0.5, 96000);
  RecordingCanvas canvas(180, 120);
  design->DrawBands(canvas);
  const GraphRect plot = design->PlotRect();
  const auto* hz = canvas.FindText("Hz");
  ASSERT_NE(hz, nullptr);
  std::vector<const RecordingCanvas::Text*> row;
  for (const auto& t : canvas.texts) {
    if (t.at.y == plot.bottom + 1) row.push_back(&t);
  }
  ASSERT_FALSE(row.empty());
  EXPECT_LT(row.size(), 7u);
  for (std::size_t i = 0; i < row.size(); ++i) {
    EXPECT_LT(row[i]->at.x + row[i]->size.width, hz->at.x) << row[i]->text;
    if (i > 0) {
      EXPECT_LT(row[i - 1]->at.x + row[i - 1]->size.width, row[i]->at.x) << row[i]->text;
    }
  }
}

TEST(CFilterDesign, BandGraphWithoutActiveSlotsHasOnlyTheFrame) {
  const auto design = MakeDesign(0.5, 96000);
  design->SetTitle("Left Channels");
  design->SetBand(0, 0, 100, 1000, 1);
  RecordingCanvas canvas(600, 200);
  design->DrawBands(canvas);
  EXPECT_TRUE(canvas.polylines.empty());
  EXPECT_EQ(canvas.font, "Arial/12/700");
  const auto* title = canvas.FindText("Left Channels");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->at, (GraphPoint{(600 - 13 * 7) / 2, 2}));
  ASSERT_NE(canvas.FindText("dB"), nullptr);
  EXPECT_EQ(canvas.FindText("dB")->at, (GraphPoint{12, 0}));
  ASSERT_NE(canvas.FindText("Hz"), nullptr);
  EXPECT_EQ(canvas.FindText("Hz")->at, (GraphPoint{600 - 14, 200 - 1 - 14}));
  EXPECT_EQ(LevelLabels(canvas, design->PlotRect()),
            (std::vector<std::string>{"  0", " -3", " -6", " -9", "-12", "-15", "-18", "-21"}));
}

TEST(CFilterDesign, BandCurvesAreClippedToThePlot) {
  const auto design = MakeDesign(0.5, 96000);
  design->SetBand(0, 1, 100, 1000, 1);
  design->SetBand(1, 0, 20, 20000, 1);
  design->SetBand(7, 1, 20, 20000, 3);
  RecordingCanvas canvas(600, 200);
  design->DrawBands(canvas);
  const GraphRect plot = design->PlotRect();
  ASSERT_EQ(canvas.polylines.size(), 2u);
  EXPECT_EQ(canvas.polylines[0].pen.colour, (GraphColour{200, 0, 0}));
  EXPECT_EQ(canvas.polylines[1].pen.colour, (GraphColour{0, 0, 0}));
  for (const auto& line : canvas.polylines) {
    EXPECT_EQ(line.pen.width, 2);
    ASSERT_TRUE(line.clip.has_value());
    EXPECT_EQ(*line.clip, (GraphRect{plot.left, 0, plot.right, plot.bottom}));
    // −140 dB lies far below the plot; the plateau on the 0 dB line.
    EXPECT_GT(line.points.front().y, plot.bottom);
    const int zeroY = plot.top + static_cast<int>(std::lround(2 * (plot.bottom - plot.top) / 27.0));
    bool onZero = false;
    for (const GraphPoint& p : line.points) onZero |= p.y == zeroY;
    EXPECT_TRUE(onZero);
  }
  EXPECT_EQ(design->Band(0).screenPoints, canvas.polylines[0].points);
}

TEST(CFilterDesign, MarkerShowsFrequencyAndLevelBesideThePoint) {
  struct Case {
    const char* name;
    int index;
    std::string text;
    bool leftOfPoint;
  };
  const Case cases[] = {{"mid axis", 1023, "218Hz, 7.65dB", false},
                        {"near the right edge", 2040, "92088Hz, -32.75dB", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto design = MakeDesign(0.5, 96000);
    design->SetTimeConstants(3180, 318, 75, 7950);
    design->SetMarkerIndex(c.index);
    RecordingCanvas canvas(900, 380);
    design->DrawResponse(canvas);
    const GraphPoint point = design->ResponsePoints()[static_cast<std::size_t>(c.index)];
    ASSERT_EQ(canvas.circles.size(), 1u);
    EXPECT_EQ(canvas.circles[0].centre, point);
    EXPECT_EQ(canvas.circles[0].radius, 5);
    EXPECT_EQ(canvas.circles[0].colour, (GraphColour{0, 0, 255}));
    const auto* text = canvas.FindText(c.text);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->at.y, point.y - 7);
    if (c.leftOfPoint) {
      EXPECT_EQ(text->at.x + text->size.width, point.x - 9);
    } else {
      EXPECT_EQ(text->at.x, point.x + 9);
    }
  }
}

TEST(CFilterDesign, NoMarkerWithoutAnIndexInTheGrid) {
  for (int index : {-1, 2048, 100000}) {
    const auto design = MakeDesign(5, 30000);
    design->SetMarkerIndex(index);
    RecordingCanvas canvas(600, 250);
    design->DrawResponse(canvas);
    EXPECT_TRUE(canvas.circles.empty()) << index;
  }
}

TEST(CFilterDesign, PointUnderTheMouse) {
  const auto design = MakeDesign(5, 30000);
  RecordingCanvas canvas(1050, 300);
  design->DrawResponse(canvas);
  const GraphRect plot = design->PlotRect();
  // 1014 pixels for 2048 points: the first point drawn at a column is picked.
  EXPECT_EQ(design->ResponsePointAtX(plot.left), 0);
  const int k = design->ResponsePointAtX(plot.left + 500);
  ASSERT_GE(k, 0);
  EXPECT_EQ(design->ResponsePoints()[static_cast<std::size_t>(k)].x, plot.left + 500);
  EXPECT_LT(design->ResponsePoints()[static_cast<std::size_t>(k - 1)].x, plot.left + 500);
  EXPECT_EQ(design->ResponsePointAtX(plot.left - 1), -1);
  EXPECT_EQ(design->ResponsePointAtX(plot.right + 1), -1);
}

TEST(CFilterDesign, NothingIsDrawnOnACanvasBelowTwoPixels) {
  const std::pair<int, int> sizes[] = {{1, 100}, {100, 1}, {0, 0}};
  for (const auto& [w, h] : sizes) {
    const auto design = MakeDesign(5, 30000);
    RecordingCanvas canvas(w, h);
    design->DrawResponse(canvas);
    design->DrawBands(canvas);
    EXPECT_EQ(canvas.calls, 0) << w << "x" << h;
  }
}

TEST(CFilterDesign, SmallCanvasesDrawWithoutFault) {
  // Narrower than the margins: the plot turns inside out but nothing breaks.
  const auto design = MakeDesign(0.5, 96000);
  design->SetTimeConstants(3180, 318, 75, 7950);
  design->SetBand(0, 1, 100, 1000, 1);
  design->SetMarkerIndex(10);
  for (int size : {2, 10, 30, 40}) {
    RecordingCanvas canvas(size, size);
    design->DrawResponse(canvas);
    design->DrawBands(canvas);
    EXPECT_GT(canvas.calls, 0);
  }
}

}  // namespace
}  // namespace desktop::roomcorrection
