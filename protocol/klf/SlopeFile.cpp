#include "protocol/klf/SlopeFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "protocol/klf/TextNumbers.h"

namespace protocol::klf {

namespace {
constexpr double kMaxAmplitudeDb = 12.0;
constexpr double kMaxPhase = 2000.0;
constexpr double kMinRoomDb = -90.0;
constexpr double kMaxRoomDb = 12.0;
constexpr int kNumbersPerLine = 7;
constexpr int kRequiredNumbers = 4;
constexpr std::string_view kLineEnd = "\r\n";

struct CellFormat {
  int width;
  int precision;
};
// Table cells: Hz, amplitude, phase, rooms.
constexpr std::array<CellFormat, SlopeFile::kColumnCount> kCellFormats = {
    {{5, 0}, {5, 1}, {7, 1}, {5, 1}, {5, 1}, {5, 1}, {5, 1}}};
// File columns: "%5.0lf  %9.1lf  %7.1lf  %6.1lf  %6.1lf  %6.1lf  %6.1lf".
constexpr std::array<CellFormat, SlopeFile::kColumnCount> kFileFormats = {
    {{5, 0}, {9, 1}, {7, 1}, {6, 1}, {6, 1}, {6, 1}, {6, 1}}};
constexpr std::string_view kFileSeparator = "  ";

double ColumnOf(const SlopeRow& row, int column, int rowIndex) {
  switch (column) {
    case 0:
      return CurveBin::FrequencyHz(rowIndex);
    case 1:
      return row.amplitude;
    case 2:
      return row.phase;
    default:
      return row.room[static_cast<std::size_t>(column - 3)];
  }
}

void SetColumn(SlopeRow& row, int column, double value) {
  if (column == 1) {
    row.amplitude = value;
  } else if (column == 2) {
    row.phase = value;
  } else if (column >= 3 && column < SlopeFile::kColumnCount) {
    row.room[static_cast<std::size_t>(column - 3)] = value;
  }
}
}  // namespace

std::string SlopeFile::Write(std::span<const CurveBin> bins) {
  std::vector<SlopeRow> rows;
  rows.reserve(bins.size());
  for (const CurveBin& bin : bins) rows.push_back(RowOf(bin));
  return WriteRows(rows);
}

std::string SlopeFile::WriteRows(std::span<const SlopeRow> rows) {
  std::string out;
  out.reserve(64 + rows.size() * 56);
  out += kMarker;
  out += kLineEnd;
  out += kHeading;
  out += kLineEnd;
  int index = 0;
  for (const SlopeRow& row : rows) {
    for (int column = 0; column < kColumnCount; ++column) {
      if (column > 0) out += kFileSeparator;
      const CellFormat& f = kFileFormats[static_cast<std::size_t>(column)];
      out += FormatFixed(ColumnOf(row, column, index), f.width, f.precision);
    }
    out += kLineEnd;
    ++index;
  }
  return out;
}

std::string SlopeFile::ProposedFileName(int channelIndex, std::string_view channelName) {
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "%04d-CH%02d-", 0, channelIndex);
  std::string name = prefix;
  name += channelName;
  name += ".txt";
  return name;
}

SlopeFile::Parsed SlopeFile::Parse(std::string_view text) {
  Parsed result;
  std::size_t row = 0;
  int lineNumber = 0;
  for (std::string_view line : SplitLines(text)) {
    ++lineNumber;
    if (line.starts_with(';')) continue;
    if (line == kMarker) {
      row = 0;
      continue;
    }
    if (IsBlank(line)) continue;
    const std::vector<double> numbers = LeadingNumbers(line, kNumbersPerLine);
    if (numbers.size() < static_cast<std::size_t>(kRequiredNumbers)) {
      result.ok = false;
      result.error = {lineNumber, "expected at least four numbers (Hz, amplitude, phase, room 1)"};
      result.rows.clear();
      return result;
    }
    if (!std::all_of(numbers.begin(), numbers.end(), [](double v) { return std::isfinite(v); })) {
      result.ok = false;
      result.error = {lineNumber, "a number is not finite"};
      result.rows.clear();
      return result;
    }
    if (row >= static_cast<std::size_t>(kRowCount)) continue;  // past the table: ignored
    SlopeRow values;
    for (int column = 1; column < kColumnCount; ++column) {
      const auto i = static_cast<std::size_t>(column);
      SetColumn(values, column, CellValue(column, i < numbers.size() ? numbers[i] : 0.0));
    }
    if (row < result.rows.size()) {
      result.rows[row] = values;
    } else {
      result.rows.push_back(values);
    }
    ++row;
  }
  return result;
}

void SlopeFile::ApplyTo(std::span<const SlopeRow> rows, std::span<CurveBin> bins) {
  const std::size_t n = std::min(rows.size(), bins.size());
  for (std::size_t i = 0; i < n; ++i) bins[i] = BinOf(rows[i]);
}

SlopeRow SlopeFile::RowOf(const CurveBin& bin) {
  SlopeRow row;
  row.amplitude = bin.amplitude / 10.0;
  row.phase = bin.phase;
  for (std::size_t r = 0; r < row.room.size(); ++r)
    row.room[r] = CurveBin::LevelDb(bin.roomLevel[r]);
  return row;
}

CurveBin SlopeFile::BinOf(const SlopeRow& row) {
  CurveBin bin;
  bin.amplitude = static_cast<std::int8_t>(TruncScaled(ClampCell(1, row.amplitude) * 10.0));
  bin.phase = static_cast<std::int16_t>(TruncScaled(ClampCell(2, row.phase)));
  for (std::size_t r = 0; r < row.room.size(); ++r)
    bin.roomLevel[r] = CurveBin::LevelCode(row.room[r]);
  return bin;
}

double SlopeFile::ClampCell(int column, double value) {
  if (!std::isfinite(value)) return 0.0;
  switch (column) {
    case 1:
      return std::clamp(value, -kMaxAmplitudeDb, kMaxAmplitudeDb);
    case 2:
      return std::clamp(value, -kMaxPhase, kMaxPhase);
    case 3:
    case 4:
    case 5:
    case 6:
      return std::clamp(value, kMinRoomDb, kMaxRoomDb);
    default:
      return value;
  }
}

std::string SlopeFile::CellText(int column, double value) {
  const auto c = static_cast<std::size_t>(std::clamp(column, 0, kColumnCount - 1));
  return FormatFixed(ClampCell(column, value), kCellFormats[c].width, kCellFormats[c].precision);
}

double SlopeFile::CellValue(int column, double value) {
  const std::string shown = CellText(column, value);
  const std::vector<double> back = LeadingNumbers(shown, 1);
  return back.empty() ? 0.0 : back.front();
}

}  // namespace protocol::klf
