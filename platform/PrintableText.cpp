#include "platform/PrintableText.h"

#include <cstdio>

namespace platform {

namespace {

// Length of the well-formed, printable UTF-8 character at `text[i]`, or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  }
  const auto second = static_cast<unsigned char>(text[i + 1]);
  if (b == 0xC2 && second < 0xA0) return 0;   // C1 controls
  if (b == 0xE0 && second < 0xA0) return 0;   // overlong
  if (b == 0xED && second >= 0xA0) return 0;  // surrogates
  if (b == 0xF0 && second < 0x90) return 0;   // overlong
  if (b == 0xF4 && second >= 0x90) return 0;  // beyond U+10FFFF
  return length;
}

std::string Escape(std::string_view bytes, std::size_t limit, bool keepUtf8) {
  std::string out;
  const bool cut = bytes.size() > limit;
  if (cut) bytes = bytes.substr(0, limit);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == '\\') {
      out += "\\\\";
    } else if (b >= 0x20 && b < 0x7F) {
      out += bytes[i];
    } else if (const std::size_t n = keepUtf8 ? Utf8Length(bytes, i) : 0; n != 0) {
      out.append(bytes.substr(i, n));
      i += n - 1;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  if (cut) out += "...";
  return out;
}

}  // namespace

std::string Printable(std::string_view bytes, std::size_t limit) {
  return Escape(bytes, limit, false);
}

std::string PrintableUtf8(std::string_view text, std::size_t limit) {
  return Escape(text, limit, true);
}

}  // namespace platform
