#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace platform {

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::string& error, unsigned mode) {
  const std::filesystem::path temp =
      path.string() + ".tmp." + std::to_string(getpid()) + "." + std::to_string(gettid());
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) {
    error = temp.string() + ": " + std::strerror(errno);
    return false;
  }
  std::size_t written = 0;
  while (written < content.size()) {
    const ssize_t n = write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = temp.string() + ": " + std::strerror(errno);
      close(fd);
      unlink(temp.c_str());
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0 || close(fd) != 0) {
    error = temp.string() + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    error = path.string() + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  content = buffer.str();
  return true;
}

}  // namespace platform
