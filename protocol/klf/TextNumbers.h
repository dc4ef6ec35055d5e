#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace protocol::klf {

// Locale-free number text for the curve files: a Qt program may run under a
// locale whose decimal separator is a comma, and the files must not change.

// printf "%W.Plf" in the C locale.
std::string FormatFixed(double value, int width, int precision);

// Lines without their LF or CR LF; a last line without an end counts too.
std::vector<std::string_view> SplitLines(std::string_view text);

bool IsBlank(std::string_view line);

// Up to `max` numbers from the start of the line, as scanf's "%lf" reads
// them (white space between them, a leading '+' allowed); stops at the first
// text that is not a number.
std::vector<double> LeadingNumbers(std::string_view line, int max);

// trunc() of a value already scaled to its unit (tenths of a dB, degrees),
// forgiving the binary error of decimal text: -89.9 dB is 0.1 dB above the
// floor and must give code 1, not 0.
long TruncScaled(double scaled);

}  // namespace protocol::klf
