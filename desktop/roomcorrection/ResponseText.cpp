#include "desktop/roomcorrection/ResponseText.h"

#include <charconv>

namespace desktop::roomcorrection {

namespace {

// printf would follow LC_NUMERIC, which a Qt program sets from the user's locale.
void AppendFixed(std::string& out, double value, int decimals) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  out.append(buffer, result.ptr);
}

}  // namespace

std::string ResponseText(const CFilterDesign& design) {
  std::string text;
  const auto& hz = design.Frequencies();
  const auto& db = design.Response();
  text.reserve(hz.size() * 24);
  for (std::size_t k = 0; k < hz.size() && k < db.size(); ++k) {
    AppendFixed(text, hz[k], 3);
    text += '\t';
    AppendFixed(text, db[k], 3);
    text += '\n';
  }
  return text;
}

}  // namespace desktop::roomcorrection
