#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "desktop/backup/BackupProgress.h"
#include "desktop/backup/UnitBackup.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"

namespace desktop::backup {

struct RestoreOptions {
  // Module addresses to restore; empty: every module of the backup.
  std::vector<std::uint8_t> only;
  // Plan and report only: nothing is written.
  bool dryRun = false;
  // Write the KLF310 curves the backup holds.
  bool curves = true;
  // The KLF310 card's IPv4 address; empty: the one in its settings.
  std::string klfHost;
  // Write a backup taken from a unit with another serial. Each module then
  // keeps this unit's identity record and a KLF310 its own network identity
  // (address, mask, MAC address), so the curves go to the card's own address.
  bool otherUnit = false;
};

// What happened to one module's image, or one card's curves.
struct RestoreOutcome {
  enum class Kind {
    kVerified,    // written, read back and found equal
    kWouldWrite,  // a dry run's plan
    kSkipped,     // not written: `message` says why
    kFailed,      // the write or the read-back failed or differed
  };
  std::uint8_t address = 0;
  bool curves = false;  // the card's curves rather than its settings image
  Kind kind = Kind::kSkipped;
  // "module 3 (QVO520)" or "curves of the KLF310 at module 11"
  std::string what;
  std::string message;
  // Skipped because the unit's module is of another type or size, or absent.
  bool mismatch = false;
};

// Per module of the backup (and asked for): write it, or why not. Matching
// is by address; a module of another type or image length is never written,
// nor one the backup lacks (a partial backup). A module at an address in
// `silent` did not answer: its step is kFailed.
struct RestorePlan {
  std::vector<RestoreOutcome> steps;  // kWouldWrite, kSkipped or kFailed
  // A module of the backup holds a value no card takes (its step says which):
  // the backup is not to be trusted, and nothing of it is written.
  bool impossible = false;
};
RestorePlan PlanRestore(const unitlink::Discovery& unit, const UnitBackup& backup,
                        const RestoreOptions& options,
                        const std::vector<std::uint8_t>& silent = {});

struct RestoreResult {
  enum class Status {
    kDone,       // every step ran; see the outcomes
    kNoUnit,     // no unit found
    kNoAnswer,   // the unit is there but did not answer
    kCancelled,  // asked to stop; the outcomes say what was done
    kRefused,    // the backup holds values no card takes; nothing was written
    kOtherUnit,  // the backup is of another serial and otherUnit was not given; nothing written
  };
  Status status = Status::kDone;
  // The serials of the backup and of the unit, once the unit's was read.
  std::uint16_t backupSerial = 0;
  std::uint16_t unitSerial = 0;
  std::vector<RestoreOutcome> outcomes;
  // Notes that change nothing: another unit's backup, modules not in the backup.
  std::vector<std::string> notes;
  std::string error;

  // Everything asked for was written and verified (a dry run: would be).
  bool Success() const;
};

// Writes each planned image, stores it and reads the stored copy back; the
// module keeps its own identity record (serial and delivery date). Curves are
// written and read back over the card's link. A backup of another serial is
// refused (kOtherUnit) unless options.otherUnit; a dry run then says what
// each module keeps of its own.
RestoreResult Restore(unitlink::CTiroUSB& usb, const UnitBackup& backup,
                      const RestoreOptions& options, const BackupProgress& progress = {});

}  // namespace desktop::backup
