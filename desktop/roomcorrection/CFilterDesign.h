#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "desktop/roomcorrection/GraphCanvas.h"

namespace desktop::roomcorrection {

// Frequency responses on a fixed logarithmic grid, computed once per change and
// kept per grid point, and the response graph drawn from them: the phono
// equaliser curve with its marker, or the KLF310's band windows.
class CFilterDesign {
 public:
  static constexpr int kGridPoints = 2048;
  static constexpr int kBandSlots = 16;
  // A time constant of 0 means "disabled" and is computed as this one.
  static constexpr std::uint16_t kDisabledTimeConstant = 16383;
  // Linear gain outside a band (−140 dB); also the floor at an outer band edge.
  static constexpr double kBandFloorGain = 1e-7;

  struct BandSlot {
    std::uint8_t active = 0;
    double start = 0;
    double stop = 0;
    double risingLow = 0;
    double risingHigh = 0;
    double fallingLow = 0;
    double fallingHigh = 0;
    std::vector<double> response = std::vector<double>(kGridPoints);
    std::vector<GraphPoint> screenPoints = std::vector<GraphPoint>(kGridPoints);
    int penStyle = 0;  // 0 solid, anything else dotted
    GraphColour colour;
  };

  CFilterDesign();

  // Recomputes the axis and every stored response. Refuses (false, nothing
  // changed) a range that is not finite, not positive or descending.
  bool SetFrequencyRange(double lowest, double highest);
  void SetTimeConstants(std::uint16_t t1, std::uint16_t t2, std::uint16_t t3, std::uint16_t t4);
  // `octaveFraction` c (1–12) gives edges of 1/c octave; values outside are
  // clamped. A slot outside 0–15 is ignored.
  void SetBand(int slot, std::uint8_t active, double start, double stop, int octaveFraction);
  void SetTitle(std::string title) { title_ = std::move(title); }

  // Equaliser style: level range ±E around the curve, grid every 3 dB, marker.
  void DrawResponse(GraphCanvas& canvas);
  // Band style: +2 … −25 dB, the title, each active slot in its colour.
  void DrawBands(GraphCanvas& canvas);

  // Corner frequency in Hz of a time constant `t` in microseconds.
  static double TimeConstantToHz(double t);
  // The equaliser's response in dB at `hz`; zero time constants count as 16383 µs.
  static double EqualizerResponse(double hz, std::uint16_t t1, std::uint16_t t2, std::uint16_t t3,
                                  std::uint16_t t4);

  double Lowest() const { return lowest_; }
  double Highest() const { return highest_; }
  const std::vector<double>& Frequencies() const { return frequencies_; }
  const std::array<std::uint16_t, 4>& TimeConstants() const { return timeConstants_; }
  const std::vector<double>& Response() const { return response_; }
  const std::vector<GraphPoint>& ResponsePoints() const { return responsePoints_; }
  const BandSlot& Band(int slot) const { return bands_.at(static_cast<std::size_t>(slot)); }
  const std::string& Title() const { return title_; }

  int MarkerIndex() const { return marker_; }
  void SetMarkerIndex(int index) { marker_ = index; }
  // Valid after a draw, for the page's hit test.
  GraphRect PlotRect() const { return plot_; }
  // The first equaliser point drawn at screen x, or −1: the page's marker pick.
  int ResponsePointAtX(int x) const;

 private:
  struct Tick {
    double hz;
    const char* label;  // null: grid line only
  };

  void ComputeAxis();
  void ComputeResponse();
  void ComputeBand(BandSlot& slot, int octaveFraction);
  int LevelRange() const;

  // Fill, plot rectangle, the two unit texts; false when the canvas is too small.
  bool BeginDrawing(GraphCanvas& canvas, int dbTextX);
  void DrawLevelGrid(GraphCanvas& canvas, const std::vector<int>& levels);
  void DrawFrequencyGrid(GraphCanvas& canvas, const Tick* ticks, std::size_t count);
  void DrawAxis(GraphCanvas& canvas) const;
  GraphPoint ToScreen(int k, double value) const;
  void DrawMarker(GraphCanvas& canvas) const;

  double lowest_ = 5;
  double highest_ = 30000;
  std::vector<double> frequencies_ = std::vector<double>(kGridPoints);
  std::array<std::uint16_t, 4> timeConstants_{kDisabledTimeConstant, kDisabledTimeConstant,
                                              kDisabledTimeConstant, kDisabledTimeConstant};
  std::vector<double> response_ = std::vector<double>(kGridPoints);
  std::vector<GraphPoint> responsePoints_ = std::vector<GraphPoint>(kGridPoints);
  int marker_ = -1;
  std::array<BandSlot, kBandSlots> bands_;
  std::array<int, kBandSlots> octaveFractions_{};
  std::string title_;

  // Layout of the last draw.
  GraphRect plot_;
  int plotWidth_ = 0;
  int plotHeight_ = 0;
  double zeroY_ = 0;
  double pixelsPerDb_ = 1;
  int hzTextLeft_ = 0;
  int dbTextBottom_ = 0;
};

}  // namespace desktop::roomcorrection
