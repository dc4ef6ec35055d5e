#include "protocol/unit/FieldRow.h"

#include <cstdio>

namespace protocol::unit {

std::string TenthsText(long tenths, std::string_view unit) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1lf", static_cast<double>(tenths) / 10.0);
  return unit.empty() ? std::string(text) : std::string(text) + " " + std::string(unit);
}

namespace {

std::string Numbered(std::string_view pattern, int number) {
  std::string out(pattern);
  const auto at = out.find('#');
  if (at != std::string::npos) out.replace(at, 1, std::to_string(number));
  return out;
}

}  // namespace

std::string FieldRow::NameAt(std::size_t k) const {
  return Numbered(name, first + static_cast<int>(k));
}

std::string FieldRow::DefaultTextAt(std::size_t k) const {
  return Numbered(defaultText, first + static_cast<int>(k));
}

std::string LevelText(int tenths) {
  return TenthsText(tenths, "dB");
}

}  // namespace protocol::unit
