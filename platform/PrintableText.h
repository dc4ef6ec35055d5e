#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Bytes from a file or a command line made fit to quote in a message: printable
// ASCII stays, a backslash becomes "\\", every other byte "\xNN"; more than
// `limit` bytes are cut and end in "...". A NUL or an escape sequence in a
// damaged file then shows as what it is instead of cutting or garbling the
// message. 8-bit text of the handheld is escaped byte by byte.
std::string Printable(std::string_view bytes, std::size_t limit = 80);

// The same for text that should be UTF-8 (command-line arguments): well-formed
// characters beyond ASCII stay, except the C1 control characters.
std::string PrintableUtf8(std::string_view text, std::size_t limit = 80);

}  // namespace platform
