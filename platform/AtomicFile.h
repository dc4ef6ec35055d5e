#pragma once

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Writes a file whole or not at all, piece by piece: the pieces go to a
// temporary file beside `path`, which Commit flushes to disk and renames over
// the old one. Until then the old file stays as it was; a writer that ends
// uncommitted removes its temporary file. Errors name the file ("NAME:
// reason", NAME being `shownName`, else `path`).
class AtomicFileWriter {
 public:
  // `mode`: the new file's permissions, less the umask; with `exactMode`
  // exactly these.
  explicit AtomicFileWriter(std::filesystem::path path, unsigned mode = 0644,
                            bool exactMode = false, std::string shownName = {});
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file.
  bool Open(std::string& error);
  bool Write(std::string_view bytes, std::string& error);
  // The access and modification times the file will carry.
  bool SetTimes(const timespec& accessed, const timespec& modified, std::string& error);
  // Flushes the whole file to disk, not yet in its place: a caller that puts
  // several files in place together writes them all first.
  bool Flush(std::string& error);
  // Flushes (unless done) and renames the file into place.
  bool Commit(std::string& error);
  // Drops the temporary file; the old one stays.
  void Abort();

  const std::filesystem::path& Path() const { return path_; }

 private:
  bool Fail(std::string& error);

  std::filesystem::path path_;
  std::filesystem::path temp_;
  std::string shown_;
  unsigned mode_;
  bool exactMode_;
  int fd_ = -1;
  bool flushed_ = false;
};

// Writes the whole file or nothing: a temporary file beside it, flushed to
// disk, then renamed over the old one, with permissions `mode` (less the
// umask). `error` says why when it fails, naming `path`.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::string& error, unsigned mode = 0644);

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& content);

// Reads a whole file of at most `maxBytes`. A larger regular file is refused
// before anything is read, and a stream that goes on past the limit is cut
// off there, so a wrong file never costs more than the limit. False with
// `error` ("PATH: reason") when it cannot be read or is too large; then
// `tooLarge`, when given, tells which.
bool ReadFileUpTo(const std::filesystem::path& path, std::size_t maxBytes, std::string& content,
                  std::string& error, bool* tooLarge = nullptr);

// How long an output that is not a file (a FIFO, a pipe) may keep us waiting
// for a reader or for room before the write fails.
inline constexpr int kOutputWaitMs = 5000;

// Writes a program's output where the user named it: "-" is standard output;
// "/dev/stdout" and "/dev/fd/N" are those open files; a regular file (or a
// new one) is replaced atomically, through any symbolic links to it, which
// stay; what is not a regular file (a FIFO, a terminal) is written through.
// A directory is refused. Errors name `path` as given.
bool WriteOutputFile(const std::string& path, std::string_view content, std::string& error);

}  // namespace platform
