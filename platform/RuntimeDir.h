#pragma once

#include <filesystem>
#include <string>

namespace platform {

// Where device sockets and the simulated Bluetooth stack live:
// $MRX_RUNTIME_DIR, else $XDG_RUNTIME_DIR/mrx, else /tmp/mrx-<uid>.
std::filesystem::path RuntimeDir();

// Whether `dir` may hold this user's device sockets. Whoever can write a
// folder can put a socket there that stands in for the unit, so a folder that
// another user owns, or that group or others can write, is refused (false,
// with a message naming it), as is anything that is not a folder. A missing
// folder is made with mode 0700 when `create` is set (its parents as needed);
// otherwise it is taken as fine, since nothing can be served from it.
bool CheckPrivateDir(const std::filesystem::path& dir, bool create, std::string& error);

// True when MRX_TRACE=1.
bool TraceEnabled();

}  // namespace platform
