#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "desktop/backup/ReadUnitBackup.h"
#include "desktop/backup/UnitBackup.h"
#include "tools/mrxctl/Context.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// Adds "backup FILE", "restore FILE" and "diff A B" to `app`: the whole
// unit's settings (and KLF310 curves) into one file, back into the unit
// verified, and compared. A parsed leaf sets `action`; progress on standard
// error on a terminal.
void AddBackupCommand(CLI::App& app, Context& ctx, std::function<int()>& action);

// The backup an update takes of the unit before it writes anything.
struct SafetyBackup {
  bool taken = false;
  desktop::backup::ReadOptions options;
  desktop::backup::UnitBackup before;
};

// Reads the unit and saves a safety backup, saying where. Returns kExitOk, or
// the exit code that stops the update before anything is written; with
// `skip` (--no-backup) takes none and says so.
int BackupBeforeUpdate(Context& ctx, bool skip, SafetyBackup& safety);

// After a successful update: reads the settings again and says whether they
// are unchanged or which modules' settings changed.
void CompareAfterUpdate(Context& ctx, const SafetyBackup& safety);

}  // namespace tools::mrxctl
