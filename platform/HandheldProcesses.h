#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HandheldEnv.h"

namespace platform {

// The handheld's special folders, as its shell names them.
inline constexpr std::string_view kFolderWindows = "\\Windows";
inline constexpr std::string_view kFolderFonts = "\\Windows\\Fonts";
inline constexpr std::string_view kFolderStartMenu = "\\Windows\\Start Menu";
inline constexpr std::string_view kFolderPrograms = "\\Windows\\Start Menu\\Programs";
inline constexpr std::string_view kFolderStartup = "\\Windows\\StartUp";

// Programs of the handheld run as processes of this machine with the tree as
// their world: WAVRIX_HANDHELD names it, and their working folder lies in it.
// Only processes whose program file lies inside the tree count as the
// handheld's, so nothing else on this machine is ever found or stopped.
class HandheldProcesses {
 public:
  explicit HandheldProcesses(const HandheldEnv& env) : env_(env) {}

  // Starts the handheld program at `program` (a handheld path) with `args`,
  // in `workingFolder` (a handheld path; empty: the program's own folder).
  // -1 when the path leaves the tree or the program cannot be started; then
  // `why`, when given, says why, naming the program.
  pid_t Start(std::string_view program, const std::vector<std::string>& args,
              std::string_view workingFolder = {}, std::string* why = nullptr) const;

  // The handheld's processes whose program file name is exactly `fileName`.
  std::vector<pid_t> Find(std::string_view fileName) const;

  // Ends the process and waits, up to `limitMs`, until the system has let go
  // of it, so its program file can be replaced. False when it is still there.
  static bool Terminate(pid_t pid, std::uint32_t limitMs = 2000);

 private:
  const HandheldEnv& env_;
};

// The handheld's shortcut file: the target's length, "#", the target.
std::string ShortcutText(std::string_view target);

}  // namespace platform
