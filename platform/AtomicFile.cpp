#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

namespace platform {

namespace {

constexpr int kSymlinkHops = 40;  // as the kernel allows
constexpr int kReaderPollMs = 20;

// "NAME.tmp.PID.TID" beside `path`, the name cut so the whole stays within
// NAME_MAX: a file with a long name can still be replaced.
std::filesystem::path TempPathFor(const std::filesystem::path& path) {
  const std::string suffix = ".tmp." + std::to_string(getpid()) + "." + std::to_string(gettid());
  std::string name = path.filename().string();
  if (name.size() + suffix.size() > NAME_MAX) name.resize(NAME_MAX - suffix.size());
  return path.parent_path() / (name + suffix);
}

// `keepMode`: the mode of the file being replaced, which the new one keeps.
bool WriteAtomically(const std::filesystem::path& path, std::string_view content,
                     const std::string& shownName, std::optional<mode_t> keepMode,
                     std::string& error, mode_t newMode = 0644) {
  AtomicFileWriter writer(path, keepMode ? *keepMode : newMode, keepMode.has_value(), shownName);
  return writer.Open(error) && writer.Write(content, error) && writer.Commit(error);
}

// Waits (up to kOutputWaitMs) until `fd` is ready for `events`; false with a
// reason when it is not.
bool WaitReady(int fd, short events, std::string& why) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, kOutputWaitMs);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      why = std::strerror(errno);
      return false;
    }
    if (r == 0) {
      why = events == POLLIN ? "nothing came for " : "nothing took the data for ";
      why += std::to_string(kOutputWaitMs / 1000) + " s";
      return false;
    }
    return true;
  }
}

// Writes everything to an open stream, a pipe-sized piece at a time so that
// no write blocks past the wait limit.
bool WriteThrough(int fd, std::string_view content, std::string& why) {
  std::size_t written = 0;
  while (written < content.size()) {
    if (!WaitReady(fd, POLLOUT, why)) return false;
    const std::size_t piece = std::min<std::size_t>(content.size() - written, PIPE_BUF);
    const ssize_t n = write(fd, content.data() + written, piece);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      why = n == 0 ? std::strerror(EIO) : std::strerror(errno);
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// The descriptor a name stands for: "-", "/dev/stdout", "/dev/stderr",
// "/dev/fd/N", "/proc/self/fd/N". Opening those anew would lose where the
// shell put them (an append, an offset), so they are written as they are.
std::optional<int> DescriptorName(std::string_view name) {
  if (name == "-" || name == "/dev/stdout") return STDOUT_FILENO;
  if (name == "/dev/stderr") return STDERR_FILENO;
  for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (!name.starts_with(prefix)) continue;
    const std::string_view digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 6) return std::nullopt;
    int fd = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      fd = fd * 10 + (c - '0');
    }
    return fd;
  }
  return std::nullopt;
}

// Opens what is not a regular file for writing. A FIFO without a reader is
// waited for up to kOutputWaitMs, never for ever.
int OpenStream(const std::string& path, std::string& why) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kOutputWaitMs);
  for (;;) {
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) return fd;
    if (errno == EINTR) continue;
    if (errno != ENXIO) {
      why = std::strerror(errno);
      return -1;
    }
    if (std::chrono::steady_clock::now() >= end) {
      why = "nothing reads from it (waited " + std::to_string(kOutputWaitMs / 1000) + " s)";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kReaderPollMs));
  }
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::filesystem::path path, unsigned mode, bool exactMode,
                                   std::string shownName)
    : path_(std::move(path)),
      temp_(TempPathFor(path_)),
      shown_(shownName.empty() ? path_.string() : std::move(shownName)),
      mode_(mode),
      exactMode_(exactMode) {}

AtomicFileWriter::~AtomicFileWriter() {
  Abort();
}

bool AtomicFileWriter::Fail(std::string& error) {
  error = shown_ + ": " + std::strerror(errno);
  Abort();
  return false;
}

void AtomicFileWriter::Abort() {
  if (fd_ < 0) return;
  const int saved = errno;
  close(fd_);
  fd_ = -1;
  unlink(temp_.c_str());
  errno = saved;
}

bool AtomicFileWriter::Open(std::string& error) {
  Abort();
  flushed_ = false;
  // O_EXCL: a leftover of the same name is never written through.
  unlink(temp_.c_str());
  fd_ = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
             static_cast<mode_t>(mode_));
  if (fd_ < 0) {
    error = shown_ + ": " + std::strerror(errno);
    return false;
  }
  if (exactMode_ && fchmod(fd_, static_cast<mode_t>(mode_)) != 0) return Fail(error);
  return true;
}

bool AtomicFileWriter::Write(std::string_view bytes, std::string& error) {
  if (fd_ < 0) {
    errno = EBADF;
    return Fail(error);
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return Fail(error);
    }
    written += static_cast<std::size_t>(n);
  }
  flushed_ = false;
  return true;
}

bool AtomicFileWriter::SetTimes(const timespec& accessed, const timespec& modified,
                                std::string& error) {
  const timespec times[2] = {accessed, modified};
  if (fd_ < 0) errno = EBADF;
  if (fd_ < 0 || futimens(fd_, times) != 0) return Fail(error);
  return true;
}

bool AtomicFileWriter::Flush(std::string& error) {
  if (fd_ < 0) errno = EBADF;
  if (fd_ < 0 || fsync(fd_) != 0) return Fail(error);
  flushed_ = true;
  return true;
}

bool AtomicFileWriter::Commit(std::string& error) {
  if (!flushed_ && !Flush(error)) return false;
  // A full disk may show itself only when the file is closed.
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0 || rename(temp_.c_str(), path_.c_str()) != 0) {
    error = shown_ + ": " + std::strerror(errno);
    unlink(temp_.c_str());
    return false;
  }
  return true;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::string& error, unsigned mode) {
  return WriteAtomically(path, content, path.string(), std::nullopt, error,
                         static_cast<mode_t>(mode));
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

bool ReadFileUpTo(const std::filesystem::path& path, std::size_t maxBytes, std::string& content,
                  std::string& error, bool* tooLarge) {
  const std::string shown = path.string();
  if (tooLarge != nullptr) *tooLarge = false;
  const auto refuse = [&](const std::string& why) {
    error = shown + ": too large (" + why + ")";
    if (tooLarge != nullptr) *tooLarge = true;
    return false;
  };
  // Without O_NONBLOCK, opening a FIFO nobody writes to would wait for ever.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = shown + ": " + std::strerror(errno);
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    error = shown + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    error = shown + ": is a directory";
    return false;
  }
  if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
    return refuse(std::to_string(st.st_size) + " bytes; at most " + std::to_string(maxBytes));
  }
  std::string text;
  char buffer[4096];
  for (;;) {
    std::string why;
    if (!S_ISREG(st.st_mode) && !WaitReady(fd, POLLIN, why)) {
      error = shown + ": " + why;
      return false;
    }
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) {
      error = shown + ": " + std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > maxBytes) return refuse("more than " + std::to_string(maxBytes) + " bytes");
  }
  content = std::move(text);
  return true;
}

bool WriteOutputFile(const std::string& path, std::string_view content, std::string& error) {
  std::string why;
  if (path.empty()) {
    error = "no file name given";
    return false;
  }
  if (const auto fd = DescriptorName(path)) {
    if (WriteThrough(*fd, content, why)) return true;
    error = path + ": " + why;
    return false;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      error = path + ": is a directory";
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      const int fd = OpenStream(path, why);
      const bool ok = fd >= 0 && WriteThrough(fd, content, why);
      if (fd >= 0 && close(fd) != 0 && ok) why = std::strerror(errno);
      if (ok) return true;
      error = path + ": " + why;
      return false;
    }
  }
  // A regular file, or none yet: replace what the links lead to, not the links.
  std::filesystem::path target = path;
  for (int hops = 0;; ++hops) {
    struct stat link {};
    if (lstat(target.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) break;
    char buffer[PATH_MAX];
    const ssize_t n = readlink(target.c_str(), buffer, sizeof buffer - 1);
    if (hops == kSymlinkHops || n <= 0) {
      error = path + ": " + std::strerror(n <= 0 ? errno : ELOOP);
      return false;
    }
    const std::filesystem::path next(std::string(buffer, static_cast<std::size_t>(n)));
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  std::optional<mode_t> keepMode;
  if (stat(target.c_str(), &st) == 0) keepMode = st.st_mode & 07777;
  return WriteAtomically(target, content, path, keepMode, error);
}

}  // namespace platform
