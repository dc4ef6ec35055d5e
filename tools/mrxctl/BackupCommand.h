#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "desktop/backup/ReadUnitBackup.h"
#include "desktop/backup/UnitBackup.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/Clock.h"

namespace CLI {
class App;
}

namespace tools::mrxctl {

// Adds "backup FILE", "restore FILE" and "diff A B" to `app`: the whole
// unit's settings (and KLF310 curves) into one file, back into the unit
// verified, and compared. A parsed leaf sets `action`; JSON output when
// `json` is set by then; progress on `err` when `terminal`.
void AddBackupCommand(CLI::App& app, desktop::unitlink::CTiroUSB& usb, const bool& json,
                      bool terminal, std::ostream& out, std::ostream& err, platform::Clock& clock,
                      std::function<int()>& action);

// The backup an update takes of the unit before it writes anything.
struct SafetyBackup {
  bool taken = false;
  desktop::backup::ReadOptions options;
  desktop::backup::UnitBackup before;
};

// Reads the unit and saves a safety backup, saying where. Returns kExitOk, or
// the exit code that stops the update before anything is written; with
// `skip` (--no-backup) takes none and says so.
int BackupBeforeUpdate(desktop::unitlink::CTiroUSB& usb, bool skip, std::ostream& out,
                       std::ostream& err, platform::Clock& clock, SafetyBackup& safety);

// After a successful update: reads the settings again and says whether they
// are unchanged or which modules' settings changed.
void CompareAfterUpdate(desktop::unitlink::CTiroUSB& usb, const SafetyBackup& safety,
                        std::ostream& out, std::ostream& err);

}  // namespace tools::mrxctl
