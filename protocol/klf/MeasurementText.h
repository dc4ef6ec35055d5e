#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "protocol/klf/CurveBin.h"
#include "protocol/klf/SlopeFile.h"

namespace protocol::klf {

// A measurement tool's text export: lines of frequency in Hz, magnitude in
// dB and optionally phase in degrees; '*' or '#' lines are comments.
class MeasurementText {
 public:
  struct Point {
    double hz = 0.0;
    double db = 0.0;
    double phase = 0.0;
    bool hasPhase = false;
  };
  struct Parsed {
    std::vector<Point> points;
    bool ok = true;
    TextError error;
  };

  // Reads the whole text; frequencies must be positive and rising.
  static Parsed Parse(std::string_view text);

  // Puts the measurement into one table column (1 amplitude, 2 phase, 3..6
  // rooms) of every bin, interpolating over log frequency; bins outside the
  // measured range take the nearest end. Values are clamped as cell edits.
  // False (bins unchanged) for another column, no points, or phase asked of
  // a measurement without it.
  static bool ApplyToColumn(std::span<const Point> points, int column, std::span<CurveBin> bins);
};

}  // namespace protocol::klf
