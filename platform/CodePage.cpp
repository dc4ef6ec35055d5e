#include "platform/CodePage.h"

#include <cstdint>

namespace platform {

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
    out += (ok && cp < 0x100) ? static_cast<char>(cp) : '?';
  }
  return out;
}

std::string CodePageToUtf8(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace platform
