#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

#include "desktop/backup/UnitBackup.h"

namespace desktop::backup {

// The backups written before an update: per unit serial in
// $XDG_DATA_HOME/mrx520/backups/<serial>/ (default ~/.local/share), named by
// the time they were written so that they sort by it, the last kKeep kept.
class SafetyBackups {
 public:
  static constexpr std::size_t kKeep = 10;

  // $XDG_DATA_HOME/mrx520/backups; empty with `error` when neither it nor HOME is set.
  static std::filesystem::path Folder(std::string& error);

  // Writes `backup` whole into its serial's folder, then deletes the oldest
  // beyond kKeep. Returns the file written; empty with `error` when it could
  // not be written (nothing is deleted then).
  static std::filesystem::path Save(const UnitBackup& backup, std::time_t now, std::string& error);
};

}  // namespace desktop::backup
