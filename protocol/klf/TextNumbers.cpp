#include "protocol/klf/TextNumbers.h"

#include <charconv>
#include <cmath>

namespace protocol::klf {

namespace {
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
constexpr double kSnap = 1e-6;
}  // namespace

std::string FormatFixed(double value, int width, int precision) {
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
  std::string text = ec == std::errc() ? std::string(buffer, end) : std::string("0");
  if (static_cast<int>(text.size()) < width)
    text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  return text;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool IsBlank(std::string_view line) {
  for (char c : line) {
    if (!IsSpace(c)) return false;
  }
  return true;
}

std::vector<double> LeadingNumbers(std::string_view line, int max) {
  std::vector<double> numbers;
  const char* p = line.data();
  const char* const end = line.data() + line.size();
  while (static_cast<int>(numbers.size()) < max) {
    while (p != end && IsSpace(*p)) ++p;
    if (p != end && *p == '+') {
      // from_chars takes no '+'; "+-1" stays invalid.
      if (p + 1 == end || p[1] == '-' || p[1] == '+') break;
      ++p;
    }
    double value = 0.0;
    const auto [next, ec] = std::from_chars(p, end, value);
    if (ec != std::errc() || next == p) break;
    numbers.push_back(value);
    p = next;
  }
  return numbers;
}

long TruncScaled(double scaled) {
  const double nearest = std::round(scaled);
  if (std::abs(scaled - nearest) < kSnap) return static_cast<long>(nearest);
  return static_cast<long>(std::trunc(scaled));
}

}  // namespace protocol::klf
