#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/klf/CurveBin.h"

namespace protocol::klf {

// One row of the curve table as the user sees it: amplitude in dB, phase in
// degrees, the four room levels in dB. Column 0 (Hz) follows from the row.
struct SlopeRow {
  double amplitude = 0.0;
  double phase = 0.0;
  std::array<double, CurveBin::kRoomCount> room{};

  bool operator==(const SlopeRow&) const = default;
};

// Where a slope or measurement text went wrong: 1-based line number.
struct TextError {
  int line = 0;
  std::string message;
};

// The slope text file of one channel's curve ("[SLOPE]", ";" comments, 2048
// lines of seven numbers, CR LF). Pure text in, values out: no files touched.
class SlopeFile {
 public:
  // Table columns: 0 Hz, 1 amplitude, 2 phase, 3..6 rooms 1..4.
  static constexpr int kColumnCount = 7;
  static constexpr int kRowCount = CurveBin::kBinCount;
  static constexpr std::string_view kMarker = "[SLOPE]";
  static constexpr std::string_view kHeading =
      ";Freq  Amplitude    Phase  Room 1  Room 2  Room 3  Room 4";

  // The whole file for a channel's 2048 bins (fewer bins give fewer lines).
  static std::string Write(std::span<const CurveBin> bins);
  static std::string WriteRows(std::span<const SlopeRow> rows);

  // "%04d-CH%02d-%s.txt" with 0, the channel index and its name.
  static std::string ProposedFileName(int channelIndex, std::string_view channelName);

  struct Parsed {
    // rows[k] is table row k + 1; rows past rows.size() are left as they are.
    std::vector<SlopeRow> rows;
    bool ok = true;
    TextError error;
  };
  // Reads the whole text before anything changes: a line that is neither a
  // comment, the marker, blank, nor at least four numbers fails the whole
  // import (skipping it would shift every later row). Values are clamped as
  // a cell edit clamps them.
  static Parsed Parse(std::string_view text);

  // Overwrites the first rows.size() bins.
  static void ApplyTo(std::span<const SlopeRow> rows, std::span<CurveBin> bins);

  static SlopeRow RowOf(const CurveBin& bin);
  static CurveBin BinOf(const SlopeRow& row);

  // The cell rules of the table: clamp an edited value of column 1..6 and
  // format it as the table shows it ("%5.1lf", "%7.1lf", "%5.1lf"); column 0
  // is "%5.0lf" of the bin's frequency. Non-finite values clamp to 0.
  static double ClampCell(int column, double value);
  static std::string CellText(int column, double value);
  // The value a clamped cell holds once shown (rounded to its one decimal).
  static double CellValue(int column, double value);
};

}  // namespace protocol::klf
