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
    kComplete,   // every running module's image and every asked curve is in `backup`
    kNoUnit,     // no main unit answered
    kFailed,     // an exchange failed; `backup` must not be used
    kCancelled,  // asked to stop; `backup` must not be used
  };
  Status status = Status::kFailed;
  UnitBackup backup;
  // Modules left out and why ("module 5 (SIV520) is not running its software: skipped").
  std::vector<std::string> notes;
  // Why the backup failed, when it did.
  std::string error;
  // It failed on a KLF310 card's curves (its network link): the settings
  // alone could still be read.
  bool curvesFailed = false;

  bool Complete() const { return status == Status::kComplete; }
};

// Finds the unit's modules and reads each running module's settings image
// (and, with `options.curves`, every KLF310 card's curves). Each exchange is
// asked again when it fails; a module whose software is not running is
// listed in `notes` and left out. `clock` stamps the backup.
ReadResult ReadUnitBackup(unitlink::CTiroUSB& usb, const ReadOptions& options,
                          const BackupProgress& progress = {},
                          platform::Clock& clock = platform::DefaultClock());

}  // namespace desktop::backup
