#include "platform/RuntimeDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

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

bool CheckPrivateDir(const std::filesystem::path& dir, bool create, std::string& error) {
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      error = dir.string() + ": " + std::strerror(errno);
      return false;
    }
    if (!create) return true;
    if (dir.has_parent_path() && dir.parent_path() != dir) {
      std::error_code ec;
      std::filesystem::create_directories(dir.parent_path(), ec);
    }
    // 0700 from the start: there is no moment in which others could use it.
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      error = dir.string() + ": " + std::strerror(errno);
      return false;
    }
    // Someone may have made it in between: it is judged like any other below.
    if (lstat(dir.c_str(), &st) != 0) {
      error = dir.string() + ": " + std::strerror(errno);
      return false;
    }
  }
  if (!S_ISDIR(st.st_mode)) {
    error = dir.string() + " is not a folder; refusing to use it";
    return false;
  }
  if (st.st_uid != geteuid()) {
    error = dir.string() + " belongs to another user (uid " + std::to_string(st.st_uid) +
            "); refusing to use it";
    return false;
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    error = dir.string() + " can be written by other users (mode " + mode + "); refusing to use it";
    return false;
  }
  return true;
}

bool TraceEnabled() {
  const char* trace = std::getenv("MRX_TRACE");
  return trace != nullptr && std::string(trace) == "1";
}

}  // namespace platform
