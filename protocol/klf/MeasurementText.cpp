#include "protocol/klf/MeasurementText.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "protocol/klf/TextNumbers.h"

namespace protocol::klf {

namespace {
// Up to three whitespace-separated numbers, each a whole token: "1,5" is no
// number here, rather than 1 with the rest lost.
std::vector<double> WholeNumbers(std::string_view line) {
  std::vector<double> numbers;
  std::size_t at = 0;
  while (numbers.size() < 3) {
    at = line.find_first_not_of(" \t\r", at);
    if (at == std::string_view::npos) break;
    const std::size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
    const std::string_view token = line.substr(at, end - at);
    // A number followed by anything but the blank that ends it reads as one
    // number short.
    const std::vector<double> read = LeadingNumbers(std::string(token) + " 0", 2);
    if (read.size() != 2) break;
    numbers.push_back(read.front());
    at = end;
  }
  return numbers;
}
}  // namespace

MeasurementText::Parsed MeasurementText::Parse(std::string_view text) {
  Parsed result;
  int lineNumber = 0;
  auto fail = [&result](int line, const char* message) {
    result.ok = false;
    result.error = {line, message};
    result.points.clear();
    return result;
  };
  for (std::string_view line : SplitLines(text)) {
    ++lineNumber;
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) continue;
    if (line[first] == '*' || line[first] == '#') continue;
    const std::vector<double> numbers = WholeNumbers(line);
    if (numbers.size() < 2) return fail(lineNumber, "expected frequency and level");
    if (!std::all_of(numbers.begin(), numbers.end(), [](double v) { return std::isfinite(v); })) {
      return fail(lineNumber, "a number is not finite");
    }
    if (numbers[0] <= 0.0) return fail(lineNumber, "frequency must be above 0 Hz");
    if (!result.points.empty() && numbers[0] <= result.points.back().hz) {
      return fail(lineNumber, "frequencies must rise from line to line");
    }
    result.points.push_back(
        {numbers[0], numbers[1], numbers.size() > 2 ? numbers[2] : 0.0, numbers.size() > 2});
  }
  if (result.points.empty()) return fail(lineNumber, "no measurement lines");
  return result;
}

bool MeasurementText::ApplyToColumn(std::span<const Point> points, int column,
                                    std::span<CurveBin> bins) {
  if (column < 1 || column >= SlopeFile::kColumnCount || points.empty()) return false;
  const bool phase = column == 2;
  if (phase &&
      !std::all_of(points.begin(), points.end(), [](const Point& p) { return p.hasPhase; })) {
    return false;
  }
  auto valueOf = [phase](const Point& p) { return phase ? p.phase : p.db; };
  std::size_t upper = 0;  // first point above the bin's frequency
  for (std::size_t k = 0; k < bins.size(); ++k) {
    const double hz = CurveBin::FrequencyHz(static_cast<int>(k));
    while (upper < points.size() && points[upper].hz <= hz) ++upper;
    double value = 0.0;
    if (upper == 0) {
      value = valueOf(points.front());
    } else if (upper == points.size()) {
      value = valueOf(points.back());
    } else {
      const Point& a = points[upper - 1];
      const Point& b = points[upper];
      const double t = std::log(hz / a.hz) / std::log(b.hz / a.hz);
      value = valueOf(a) + t * (valueOf(b) - valueOf(a));
    }
    SlopeRow row = SlopeFile::RowOf(bins[k]);
    const double cell = SlopeFile::CellValue(column, value);
    if (column == 1) {
      row.amplitude = cell;
    } else if (phase) {
      row.phase = cell;
    } else {
      row.room[static_cast<std::size_t>(column - 3)] = cell;
    }
    bins[k] = SlopeFile::BinOf(row);
  }
  return true;
}

}  // namespace protocol::klf
