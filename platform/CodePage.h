#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The handheld's 8-bit code page (Latin-1) against the programs' wide text,
// which we hold as UTF-8. `limit` counts the terminating NUL as the system's
// conversion does: at most limit - 1 bytes come out. Characters outside the
// code page become '?'.
std::string Utf8ToCodePage(std::string_view utf8, std::size_t limit);
std::string CodePageToUtf8(std::string_view bytes);

}  // namespace platform
