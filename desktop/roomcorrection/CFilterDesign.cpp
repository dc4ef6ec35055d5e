#include "desktop/roomcorrection/CFilterDesign.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace desktop::roomcorrection {

namespace {

constexpr double kTwoPiSquared = 39.47841760435743;

constexpr GraphColour kWhite{255, 255, 255};
constexpr GraphColour kBlack{0, 0, 0};
constexpr GraphColour kGrey{128, 128, 128};
constexpr GraphColour kLightGrey{192, 192, 192};
constexpr GraphColour kCurveColour{128, 128, 255};
constexpr GraphColour kMarkerColour{0, 0, 255};

constexpr std::array<GraphColour, 8> kSlotColours{{{200, 0, 0},
                                                   {0, 200, 0},
                                                   {0, 0, 200},
                                                   {200, 200, 0},
                                                   {200, 0, 200},
                                                   {0, 200, 200},
                                                   {200, 200, 200},
                                                   {0, 0, 0}}};

// Plot rectangle inside the bitmap: room for the level labels on the left and
// the frequency labels below.
constexpr int kPlotLeft = 26;
constexpr int kPlotTop = 10;
constexpr int kPlotRightMargin = 10;
constexpr int kPlotBottomMargin = 15;

constexpr const char* kFontFamily = "Arial";
constexpr int kFontHeight = 12;
constexpr int kFontWeight = 700;

constexpr int kLevelTickLength = 2;
constexpr int kFrequencyTickLength = 5;
constexpr int kLabelGap = 3;  // between neighbouring frequency labels
constexpr int kMarkerRadius = 5;
constexpr int kMarkerTextOffsetX = 9;
constexpr int kMarkerTextOffsetY = 7;

constexpr int kLevelStep = 3;  // dB between grid lines in both styles
constexpr double kBandTopDb = 2;
constexpr double kBandBottomDb = -25;

// Pixel coordinates far outside any bitmap but safe to convert and to draw.
constexpr double kCoordinateLimit = 1e5;

int ToPixel(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<int>(std::lround(std::clamp(value, -kCoordinateLimit, kCoordinateLimit)));
}

std::string FormatLevel(int level) {
  char text[16];
  std::snprintf(text, sizeof text, "%3d", level);
  return text;
}

}  // namespace

CFilterDesign::CFilterDesign() {
  for (std::size_t i = 0; i < bands_.size(); ++i) {
    bands_[i].colour = i < kSlotColours.size() ? kSlotColours[i] : kBlack;
    octaveFractions_[i] = 1;
  }
  ComputeAxis();
  ComputeResponse();
}

bool CFilterDesign::SetFrequencyRange(double lowest, double highest) {
  if (!std::isfinite(lowest) || !std::isfinite(highest) || lowest <= 0 || highest < lowest) {
    return false;
  }
  lowest_ = lowest;
  highest_ = highest;
  ComputeAxis();
  // The stored responses belong to the grid points, so they move with them.
  ComputeResponse();
  for (std::size_t i = 0; i < bands_.size(); ++i) ComputeBand(bands_[i], octaveFractions_[i]);
  return true;
}

void CFilterDesign::ComputeAxis() {
  const double low = std::log10(lowest_);
  const double high = std::log10(highest_);
  for (int k = 0; k < kGridPoints; ++k) {
    frequencies_[static_cast<std::size_t>(k)] =
        std::pow(10.0, low + k * (high - low) / (kGridPoints - 1));
  }
  // The ends are the range exactly, not a power of ten of their logarithm.
  frequencies_.front() = lowest_;
  frequencies_.back() = highest_;
}

void CFilterDesign::SetTimeConstants(std::uint16_t t1, std::uint16_t t2, std::uint16_t t3,
                                     std::uint16_t t4) {
  const auto effective = [](std::uint16_t t) { return t == 0 ? kDisabledTimeConstant : t; };
  timeConstants_ = {effective(t1), effective(t2), effective(t3), effective(t4)};
  ComputeResponse();
}

double CFilterDesign::EqualizerResponse(double hz, std::uint16_t t1, std::uint16_t t2,
                                        std::uint16_t t3, std::uint16_t t4) {
  // x² = (2π f t)², t in microseconds.
  const auto xSquared = [hz](std::uint16_t t) {
    const double seconds = (t == 0 ? kDisabledTimeConstant : t) * 1e-6;
    return kTwoPiSquared * hz * hz * seconds * seconds;
  };
  return 10 * std::log10(1 + 1 / xSquared(t2)) - 10 * std::log10(1 + 1 / xSquared(t1)) -
         10 * std::log10(1 + 1 / xSquared(t4)) - 10 * std::log10(1 + xSquared(t3));
}

void CFilterDesign::ComputeResponse() {
  const auto& [t1, t2, t3, t4] = timeConstants_;
  for (std::size_t k = 0; k < frequencies_.size(); ++k) {
    response_[k] = EqualizerResponse(frequencies_[k], t1, t2, t3, t4);
  }
}

double CFilterDesign::TimeConstantToHz(double t) {
  return 1e6 / (2 * std::numbers::pi * t);
}

void CFilterDesign::SetBand(int slot, std::uint8_t active, double start, double stop,
                            int octaveFraction) {
  if (slot < 0 || slot >= kBandSlots) return;
  const auto index = static_cast<std::size_t>(slot);
  BandSlot& band = bands_[index];
  band.active = active;
  band.start = start;
  band.stop = stop;
  octaveFractions_[index] = std::clamp(octaveFraction, 1, 12);
  ComputeBand(band, octaveFractions_[index]);
}

void CFilterDesign::ComputeBand(BandSlot& band, int octaveFraction) {
  const double d = std::pow(2.0, 1.0 / octaveFraction);
  const double a = band.start;
  const double b = band.stop;
  const double wa = (1 - 1 / d) * a;
  const double wb = (1 - 1 / d) * b;
  band.risingLow = a - wa;
  band.risingHigh = a + wa;
  band.fallingLow = b - wb;
  band.fallingHigh = b + wb;
  static const double floorDb = 20 * std::log10(kBandFloorGain);
  for (std::size_t k = 0; k < frequencies_.size(); ++k) {
    const double f = frequencies_[k];
    double gain = kBandFloorGain;
    if (band.risingLow <= f && f <= band.risingHigh) {
      gain = (f - band.risingLow) / (2 * wa);
    } else if (band.fallingLow <= f && f <= band.fallingHigh) {
      gain = 1 - (f - band.fallingLow) / (2 * wb);
    } else if (band.risingHigh <= f && f <= band.fallingLow) {
      gain = 1;
    }
    // At an outer edge the gain is 0, whose logarithm is −inf: hold it at the
    // floor outside the band so only finite levels reach the drawing.
    if (!(gain > kBandFloorGain)) {
      band.response[k] = floorDb;
    } else {
      band.response[k] = gain == 1 ? 0 : 20 * std::log10(gain);
    }
  }
}

int CFilterDesign::LevelRange() const {
  double largest = 0;
  for (double value : response_) {
    if (std::isfinite(value)) largest = std::max(largest, std::fabs(value));
  }
  // Beyond this the levels would not fit a label, let alone a bitmap.
  largest = std::min(largest, 997.0);
  return static_cast<int>(largest) + 2;
}

int CFilterDesign::ResponsePointAtX(int x) const {
  for (int k = 0; k < kGridPoints; ++k) {
    if (responsePoints_[static_cast<std::size_t>(k)].x == x) return k;
  }
  return -1;
}

bool CFilterDesign::BeginDrawing(GraphCanvas& canvas, int dbTextX) {
  const int w = canvas.Width();
  const int h = canvas.Height();
  if (w < 2 || h < 2) return false;
  canvas.Fill(kWhite);
  plotWidth_ = w - kPlotLeft - kPlotRightMargin;
  plotHeight_ = h - kPlotTop - kPlotBottomMargin;
  plot_ = {kPlotLeft, kPlotTop, kPlotLeft + plotWidth_, kPlotTop + plotHeight_};

  canvas.SetFont(kFontFamily, kFontHeight, kFontWeight);
  canvas.DrawText({dbTextX, 0}, "dB", kBlack);
  dbTextBottom_ = canvas.MeasureText("dB").height;
  const GraphTextSize hz = canvas.MeasureText("Hz");
  hzTextLeft_ = w - hz.width;
  canvas.DrawText({hzTextLeft_, h - 1 - hz.height}, "Hz", kBlack);
  return true;
}

void CFilterDesign::DrawAxis(GraphCanvas& canvas) const {
  const GraphPen pen{kGrey, 1, GraphPenStyle::Solid};
  canvas.DrawLine(pen, {plot_.left, plot_.top}, {plot_.left, plot_.bottom});
  canvas.DrawLine(pen, {plot_.left, plot_.bottom}, {plot_.right, plot_.bottom});
}

void CFilterDesign::DrawLevelGrid(GraphCanvas& canvas, const std::vector<int>& levels) {
  const GraphPen dotted{kLightGrey, 1, GraphPenStyle::Dotted};
  const GraphPen zero{kGrey, 1, GraphPenStyle::Solid};
  const GraphPen tick{kBlack, 1, GraphPenStyle::Solid};
  // On a low graph the labels go on every second (third, ...) line, counted
  // from 0 dB, so that they never run into each other.
  const int textHeight = canvas.MeasureText("0").height;
  const double spacing = std::fabs(kLevelStep * pixelsPerDb_);
  const int stride = spacing * 1000 < textHeight
                         ? 1000
                         : std::max(1, static_cast<int>(std::ceil(textHeight / spacing)));
  for (int level : levels) {
    const int y = ToPixel(zeroY_ - level * pixelsPerDb_);
    canvas.DrawLine(level == 0 ? zero : dotted, {plot_.left + 1, y}, {plot_.right, y});
    canvas.DrawLine(tick, {plot_.left - kLevelTickLength, y}, {plot_.left - 1, y});
    if ((level / kLevelStep) % stride != 0) continue;
    const std::string text = FormatLevel(level);
    const GraphTextSize size = canvas.MeasureText(text);
    const int top = y - size.height / 2;
    // Near the top a label would run into "dB" above it; the quarter of a line
    // below the baseline and above the digits holds no ink and may be shared.
    if (top < dbTextBottom_ - size.height / 4) continue;
    canvas.DrawText({plot_.left - kLevelTickLength - 1 - size.width, top}, text, kBlack);
  }
}

void CFilterDesign::DrawFrequencyGrid(GraphCanvas& canvas, const Tick* ticks, std::size_t count) {
  const GraphPen dotted{kLightGrey, 1, GraphPenStyle::Dotted};
  const GraphPen mark{kBlack, 1, GraphPenStyle::Solid};
  std::size_t next = 0;
  // Ticks left of the axis have no place on it.
  while (next < count && ticks[next].hz < frequencies_.front()) ++next;
  int labelsEnd = plot_.left - kLabelGap;
  for (int k = 0; k < kGridPoints - 1 && next < count; ++k) {
    if (!(ticks[next].hz < frequencies_[static_cast<std::size_t>(k)])) continue;
    const int x = ToScreen(k, 0).x;
    canvas.DrawLine(dotted, {x, plot_.top}, {x, plot_.bottom - 1});
    if (ticks[next].label != nullptr) {
      canvas.DrawLine(mark, {x, plot_.bottom}, {x, plot_.bottom + kFrequencyTickLength});
      // A label that would run into its neighbour or into "Hz" is left out;
      // its mark still shows where it is.
      const GraphTextSize size = canvas.MeasureText(ticks[next].label);
      const int textLeft = x + 2;
      if (textLeft >= labelsEnd + kLabelGap && textLeft + size.width + kLabelGap <= hzTextLeft_) {
        canvas.DrawText({textLeft, plot_.bottom + 1}, ticks[next].label, kBlack);
        labelsEnd = textLeft + size.width;
      }
    }
    ++next;
  }
}

GraphPoint CFilterDesign::ToScreen(int k, double value) const {
  return {plot_.left + static_cast<int>(k * plotWidth_ * 0.00048828125),
          ToPixel(zeroY_ - value * pixelsPerDb_)};
}

void CFilterDesign::DrawResponse(GraphCanvas& canvas) {
  static constexpr Tick kTicks[] = {
      {10, "10"},      {50, "50"},       {100, "100"},     {200, nullptr},  {300, nullptr},
      {400, nullptr},  {500, nullptr},   {600, nullptr},   {700, nullptr},  {800, nullptr},
      {900, nullptr},  {1000, "1000"},   {2000, nullptr},  {3000, nullptr}, {4000, nullptr},
      {5000, nullptr}, {6000, nullptr},  {7000, nullptr},  {8000, nullptr}, {9000, nullptr},
      {10000, "10k"},  {11000, nullptr}, {15000, nullptr}, {20000, "20k"},  {30000, "30k"}};

  if (!BeginDrawing(canvas, 0)) return;
  const int range = LevelRange();
  pixelsPerDb_ = plotHeight_ / (2.0 * range);
  zeroY_ = plot_.top + range * pixelsPerDb_;

  // Every multiple of 3 dB from −E + 3 up to E − 1.
  std::vector<int> levels;
  const int lowest = -range + 3;
  for (int level = lowest >= 0 ? (lowest + 2) / kLevelStep * kLevelStep
                               : -(-lowest / kLevelStep * kLevelStep);
       level <= range - 1; level += kLevelStep) {
    levels.push_back(level);
  }
  DrawLevelGrid(canvas, levels);
  DrawFrequencyGrid(canvas, kTicks, std::size(kTicks));
  // Over the grid lines, which would otherwise dot it.
  DrawAxis(canvas);

  for (int k = 0; k < kGridPoints; ++k) {
    responsePoints_[static_cast<std::size_t>(k)] =
        ToScreen(k, response_[static_cast<std::size_t>(k)]);
  }
  canvas.SetClip(plot_);
  canvas.DrawPolyline({kCurveColour, 2, GraphPenStyle::Solid}, responsePoints_);
  canvas.ClearClip();
  DrawMarker(canvas);
}

void CFilterDesign::DrawMarker(GraphCanvas& canvas) const {
  if (marker_ < 0 || marker_ >= kGridPoints) return;
  const auto k = static_cast<std::size_t>(marker_);
  const GraphPoint point = responsePoints_[k];
  canvas.FillCircle(kMarkerColour, point, kMarkerRadius);
  char text[64];
  std::snprintf(text, sizeof text, "%.0lfHz, %.2lfdB", frequencies_[k], response_[k]);
  const GraphTextSize size = canvas.MeasureText(text);
  int x = point.x + kMarkerTextOffsetX;
  if (x + size.width > plot_.right) x = point.x - kMarkerTextOffsetX - size.width;
  canvas.DrawText({x, point.y - kMarkerTextOffsetY}, text, kBlack);
}

void CFilterDesign::DrawBands(GraphCanvas& canvas) {
  static constexpr Tick kTicks[] = {
      {10, "10"},       {50, "50"},       {100, "100"},     {200, nullptr},   {300, nullptr},
      {400, nullptr},   {500, "500"},     {600, nullptr},   {700, nullptr},   {800, nullptr},
      {900, nullptr},   {1000, "1000"},   {2000, nullptr},  {3000, nullptr},  {4000, nullptr},
      {5000, nullptr},  {6000, nullptr},  {7000, nullptr},  {8000, nullptr},  {9000, nullptr},
      {10000, "10k"},   {20000, nullptr}, {30000, nullptr}, {40000, nullptr}, {50000, "50k"},
      {60000, nullptr}, {70000, nullptr}, {80000, nullptr}, {90000, nullptr}, {100000, nullptr}};
  static const std::vector<int> kLevels{-21, -18, -15, -12, -9, -6, -3, 0};

  if (!BeginDrawing(canvas, 12)) return;
  pixelsPerDb_ = plotHeight_ / (kBandTopDb - kBandBottomDb);
  zeroY_ = plot_.top + kBandTopDb * pixelsPerDb_;

  const GraphTextSize title = canvas.MeasureText(title_);
  canvas.DrawText({(canvas.Width() - title.width) / 2, 2}, title_, kBlack);
  DrawLevelGrid(canvas, kLevels);
  DrawFrequencyGrid(canvas, kTicks, std::size(kTicks));
  DrawAxis(canvas);

  // Outside its band a curve lies far below the plot.
  canvas.SetClip({plot_.left, 0, plot_.right, plot_.bottom});
  for (BandSlot& band : bands_) {
    if (band.active == 0) continue;
    for (int k = 0; k < kGridPoints; ++k) {
      band.screenPoints[static_cast<std::size_t>(k)] =
          ToScreen(k, band.response[static_cast<std::size_t>(k)]);
    }
    canvas.DrawPolyline(
        {band.colour, 2, band.penStyle == 0 ? GraphPenStyle::Solid : GraphPenStyle::Dotted},
        band.screenPoints);
  }
  canvas.ClearClip();
}

}  // namespace desktop::roomcorrection
