#pragma once

#include <string>
#include <vector>

#include "desktop/backup/BackupProgress.h"
#include "desktop/backup/UnitBackup.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/Clock.h"

namespace desktop::backup {

struct ReadOptions {
  // Read every KLF310 card's curves over its network link.
  bool curves = true;
  // The KLF310 card's IPv4 address; empty: the one in its settings.
  std::string klfHost;
};

struct ReadResult {
  enum class Status {
    kComplete,        // every running module's image and every asked curve is in `backup`
    kIncomplete,      // some could not be read: `backup` is partial and names them
    kNoHostSoftware,  // the main unit runs only its boot software: no settings to read
    kNoUnit,          // no main unit answered
    kFailed,          // the main unit's settings could not be read; no `backup`
    kCancelled,       // asked to stop; `backup` must not be used
  };
  Status status = Status::kFailed;
  UnitBackup backup;
  // Modules left out and why ("module 5 (SIV520) is not running its software: skipped").
  std::vector<std::string> notes;
  // What a partial backup lacks and why, one line each ("module 4 did not
  // answer"); the same modules as backup.missingModules and missingCurves.
  std::vector<std::string> missing;
  // Why the backup failed or is partial (the `missing` lines joined).
  std::string error;
  // A KLF310 card's curves could not be read (its network link): the
  // settings alone may still be read whole.
  bool curvesFailed = false;

  bool Complete() const { return status == Status::kComplete; }
};

// Finds the unit's modules and reads each running module's settings image
// (and, with `options.curves`, every KLF310 card's curves). Each exchange is
// asked again when it fails, and a module that still gives nothing is asked
// once more after the others; one that never does makes the backup partial
// (kIncomplete) rather than ending it. A module whose software is not running
// is listed in `notes` and left out. `clock` stamps the backup.
ReadResult ReadUnitBackup(unitlink::CTiroUSB& usb, const ReadOptions& options,
                          const BackupProgress& progress = {},
                          platform::Clock& clock = platform::DefaultClock());

}  // namespace desktop::backup
