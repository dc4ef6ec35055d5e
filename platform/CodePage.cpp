#include "platform/CodePage.h"

#include <array>
#include <cstdint>

namespace platform {

namespace {

// Code points of the bytes 0x80-0x9F; the undefined five keep their value.
constexpr std::array<std::uint16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

std::uint32_t CodePoint(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

// The byte for a code point, or '?' when the code page has none.
char Byte(std::uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) return static_cast<char>(cp);
  for (std::size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string Utf8ToCodePage(std::string_view utf8, std::size_t limit) {
  std::string out;
  const std::size_t max = limit == 0 ? 0 : limit - 1;
  for (std::size_t i = 0; i < utf8.size() && out.size() < max;) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    std::size_t extra = 0;
    std::uint32_t cp = c;
    if (c >= 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else if (c >= 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0x80) {
      out += '?';  // a stray continuation byte
      ++i;
      continue;
    }
    if (extra != 0 && i + extra >= utf8.size()) {  // cut short
      out += '?';
      break;
    }
    bool ok = true;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(utf8[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    i += ok ? extra + 1 : 1;
    out += ok ? Byte(cp) : '?';
  }
  return out;
}

std::string CodePageToUtf8(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) AppendUtf8(out, CodePoint(static_cast<unsigned char>(ch)));
  return out;
}

}  // namespace platform
