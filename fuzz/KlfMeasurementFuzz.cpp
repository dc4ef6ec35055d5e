// A measurement tool's text export, imported into each column of a curve.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/klf/MeasurementText.h"
#include "protocol/klf/SlopeFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace pk = protocol::klf;
  const auto parsed =
      pk::MeasurementText::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!parsed.ok) return 0;
  double lastHz = 0.0;
  bool phase = !parsed.points.empty();
  for (const auto& p : parsed.points) {
    if (!std::isfinite(p.hz) || !std::isfinite(p.db) || !std::isfinite(p.phase)) __builtin_trap();
    if (p.hz <= lastHz) __builtin_trap();  // positive and rising
    lastHz = p.hz;
    phase = phase && p.hasPhase;
  }
  for (int column = 1; column < pk::SlopeFile::kColumnCount; ++column) {
    std::vector<pk::CurveBin> bins(pk::CurveBin::kBinCount);
    const bool applied = pk::MeasurementText::ApplyToColumn(parsed.points, column, bins);
    if (applied && (parsed.points.empty() || (column == 2 && !phase))) __builtin_trap();
    for (const pk::CurveBin& bin : bins) {
      const pk::SlopeRow row = pk::SlopeFile::RowOf(bin);
      if (std::abs(row.amplitude) > 12.0 + 1e-9 || std::abs(row.phase) > 2000.0) __builtin_trap();
    }
  }
  return 0;
}
