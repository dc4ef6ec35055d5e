#include "protocol/unit/FieldRow.h"

#include <cstdio>

namespace protocol::unit {

std::string TenthsText(long tenths, std::string_view unit) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1lf", static_cast<double>(tenths) / 10.0);
  return unit.empty() ? std::string(text) : std::string(text) + " " + std::string(unit);
}

std::string LevelText(int tenths) {
  return TenthsText(tenths, "dB");
}

}  // namespace protocol::unit
