#pragma once

#include <filesystem>

namespace platform {

// Where device sockets and the simulated Bluetooth stack live:
// $MRX_RUNTIME_DIR, else $XDG_RUNTIME_DIR/mrx, else /tmp/mrx-<uid>.
std::filesystem::path RuntimeDir();

// True when MRX_TRACE=1.
bool TraceEnabled();

}  // namespace platform
