#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/HandheldEnv.h"

namespace platform {

// The desktop's view of a connected handheld, with the calls of the desktop
// sync service: the handheld is the tree of a HandheldEnv, and it counts as
// connected while that tree exists and its handheld.conf describes it. Paths
// are the handheld's; one that would leave the tree is refused.
//
// A file is created under a temporary name beside its final one and renamed
// into place when it is closed whole, so an interrupted copy never leaves a
// truncated file where the handheld would take it for the real one.
class RemoteApi {
 public:
  using Handle = int;
  static constexpr Handle kInvalidHandle = -1;
  static constexpr std::uint32_t kConnectPollMs = 500;
  static constexpr std::uint16_t kArchitectureArm = 5;

  struct FindData {
    std::string name;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
  };

  explicit RemoteApi(std::filesystem::path root);
  ~RemoteApi();
  RemoteApi(const RemoteApi&) = delete;
  RemoteApi& operator=(const RemoteApi&) = delete;

  // Waits, up to `limitMs` on `clock`, for the handheld to be connected.
  // False when none came (the reason in LastError).
  bool Init(Clock& clock, std::uint32_t limitMs);
  // Drops open files (their temporary copies go) and searches.
  void Uninit();

  // The handheld's processor architecture (5 = ARM). Valid after Init.
  std::uint16_t ProcessorArchitecture() const;

  // The first entry of `folder\pattern` ("*.*" is every entry); the handle
  // goes to FindNext and FindClose. kInvalidHandle when nothing matches.
  Handle FindFirst(std::string_view pathPattern, FindData& data);
  bool FindNext(Handle find, FindData& data);
  void FindClose(Handle find);

  // False when the folder is already there or cannot be made.
  bool CreateDirectory(std::string_view path);

  // Creates (or, when closed, replaces) the file; kInvalidHandle on failure.
  Handle CreateFile(std::string_view path);
  bool WriteFile(Handle file, std::span<const std::uint8_t> bytes);
  // The file's times once it is in place; the system keeps one for all three.
  bool SetFileTime(Handle file, std::time_t time);
  // Puts a file in place (a find handle is closed like FindClose).
  bool CloseHandle(Handle handle);

  // Starts the handheld's program at `path` with `args`; the process id, or
  // -1 (the reason in LastError). Programs started here are waited for by Uninit and the destructor
  // when they have ended, and otherwise left running, as on the handheld.
  pid_t CreateProcess(std::string_view path, const std::vector<std::string>& args = {});

  const std::string& LastError() const { return lastError_; }
  const HandheldEnv& Env() const { return env_; }

 private:
  struct OpenFile {
    std::filesystem::path final;
    std::filesystem::path temporary;
    int fd = -1;
    bool failed = false;
    std::optional<std::time_t> time;
  };
  struct Search {
    std::vector<FindData> entries;
    std::size_t next = 0;
  };
  bool Connected(std::string& why);
  void Reap();

  HandheldEnv env_;
  bool connected_ = false;
  std::mutex mutex_;
  Handle nextHandle_ = 1;
  std::map<Handle, OpenFile> files_;
  std::map<Handle, Search> searches_;
  std::vector<pid_t> started_;
  std::string lastError_;
};

}  // namespace platform
