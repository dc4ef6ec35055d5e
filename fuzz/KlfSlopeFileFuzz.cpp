// A channel's slope text file as "klf curve set" and the curve page import it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/klf/SlopeFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace pk = protocol::klf;
  const auto parsed =
      pk::SlopeFile::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!parsed.ok) {
    if (!parsed.rows.empty() || parsed.error.line <= 0) __builtin_trap();
    return 0;
  }
  if (parsed.rows.size() > static_cast<std::size_t>(pk::SlopeFile::kRowCount)) __builtin_trap();
  for (const pk::SlopeRow& row : parsed.rows) {
    // Every value is one a cell may hold.
    const double values[] = {row.amplitude, row.phase,   row.room[0],
                             row.room[1],   row.room[2], row.room[3]};
    for (int column = 1; column < pk::SlopeFile::kColumnCount; ++column) {
      const double v = values[column - 1];
      if (!std::isfinite(v) || pk::SlopeFile::ClampCell(column, v) != v) __builtin_trap();
    }
  }
  // Saved and read back, the curve stays as it is: a second save writes the
  // same text.
  std::vector<pk::CurveBin> bins(parsed.rows.size());
  pk::SlopeFile::ApplyTo(parsed.rows, bins);
  const std::string saved = pk::SlopeFile::Write(bins);
  const auto again = pk::SlopeFile::Parse(saved);
  if (!again.ok || again.rows.size() != bins.size()) __builtin_trap();
  std::vector<pk::CurveBin> reread(bins.size());
  pk::SlopeFile::ApplyTo(again.rows, reread);
  if (pk::SlopeFile::Write(reread) != saved) __builtin_trap();
  return 0;
}
