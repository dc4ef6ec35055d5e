#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The handheld's 8-bit code page (Windows-1252) against the programs' wide
// text, which we hold as UTF-8. 0x80-0x9F carry the typographic characters
// (€ ‚ ƒ „ … † ‡ ˆ ‰ Š ‹ Œ Ž ‘ ’ “ ” • – — ˜ ™ š › œ ž Ÿ); the five bytes
// the code page leaves undefined (0x81 0x8D 0x8F 0x90 0x9D) stand for the
// control characters U+0081 … of the same value, so every byte comes back as
// it went. `limit` counts the terminating NUL as the system's conversion does:
// at most limit - 1 bytes come out. Characters outside the code page become '?'.
std::string Utf8ToCodePage(std::string_view utf8, std::size_t limit);
std::string CodePageToUtf8(std::string_view bytes);

}  // namespace platform
