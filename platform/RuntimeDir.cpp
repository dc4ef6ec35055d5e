#include "platform/RuntimeDir.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace platform {

std::filesystem::path RuntimeDir() {
  if (const char* dir = std::getenv("MRX_RUNTIME_DIR"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg != nullptr && *xdg != '\0') {
    return std::filesystem::path(xdg) / "mrx";
  }
  return "/tmp/mrx-" + std::to_string(getuid());
}

bool TraceEnabled() {
  const char* trace = std::getenv("MRX_TRACE");
  return trace != nullptr && std::string(trace) == "1";
}

}  // namespace platform
