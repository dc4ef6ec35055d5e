#include "tools/mrxctl/BackupCommand.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "desktop/backup/BackupFile.h"
#include "desktop/backup/Restore.h"
#include "desktop/backup/SafetyBackups.h"
#include "desktop/backup/SettingsDiff.h"
#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {

namespace {

namespace bk = desktop::backup;
namespace ul = desktop::unitlink;
namespace pu = protocol::unit;
using Json = nlohmann::ordered_json;

// The live unit on either side of "diff".
constexpr const char* kLiveUnit = "-";

struct Backup {
  Context& ctx;
  // Options of the three commands.
  std::string file;
  std::string other;
  bool noCurves = false;
  bool dryRun = false;
  bool partial = false;
  bool otherUnit = false;
  std::vector<unsigned> only;
  std::string ip;
};

// Progress drawn in place on a terminal; nothing elsewhere, so logs stay short.
bk::BackupProgress Progress(Backup& b) {
  bk::BackupProgress progress;
  if (!b.ctx.terminal) return progress;
  progress.report = [&b](unsigned step, unsigned total, const std::string& text) {
    b.ctx.err << "\r\033[K[" << step << "/" << total << "] " << text << std::flush;
    if (step == total) b.ctx.err << "\r\033[K" << std::flush;
  };
  return progress;
}

// What a partial read lacks, one line each.
void Missing(std::ostream& err, const bk::ReadResult& r) {
  for (const std::string& line : r.missing) err << "mrxctl: not read: " << line << "\n";
}

int ReadFailed(std::ostream& err, const bk::ReadResult& r) {
  if (r.status == bk::ReadResult::Status::kIncomplete) {
    Missing(err, r);
  } else {
    err << "mrxctl: " << r.error << "\n";
  }
  if (r.curvesFailed)
    err << "mrxctl: 'mrxctl backup --no-curves' takes the settings without the curves\n";
  if (r.status == bk::ReadResult::Status::kNoUnit) return kExitUnavailable;
  if (r.status == bk::ReadResult::Status::kNoHostSoftware) {
    err << "mrxctl: 'mrxctl update host' brings the host software back\n";
  }
  err << "mrxctl: no backup was taken\n";
  return r.status == bk::ReadResult::Status::kNoHostSoftware ? kExitUnavailable : kExitIoError;
}

// A partial backup says so wherever it is read.
void SayPartial(std::ostream& err, const std::string& file, const bk::UnitBackup& backup) {
  if (!backup.Partial()) return;
  err << "mrxctl: note: " << platform::PrintableUtf8(file) << " is a partial backup: it lacks "
      << backup.MissingText() << "\n";
}

void Notes(std::ostream& err, const std::vector<std::string>& notes) {
  for (const std::string& note : notes) err << "mrxctl: note: " << note << "\n";
}

// A backup file, or the exit code that says why there is none.
int LoadFile(Backup& b, const std::string& file, bk::UnitBackup& backup) {
  std::string text, error;
  bool tooLarge = false;
  if (!platform::ReadFileUpTo(file, bk::BackupFile::kMaxFileSize, text, error, &tooLarge)) {
    SayCannotRead(b.ctx, error);
    return tooLarge ? kExitDataError : kExitIoError;
  }
  const auto parsed = bk::BackupFile::Parse(text);
  if (!parsed.ok) {
    b.ctx.err << "mrxctl: " << platform::PrintableUtf8(file) << " line " << parsed.line << ": "
              << parsed.message << "\n";
    return kExitDataError;
  }
  backup = parsed.backup;
  return kExitOk;
}

int Take(Backup& b) {
  bk::ReadOptions options;
  options.curves = !b.noCurves;
  options.klfHost = b.ip;
  const bk::ReadResult r = bk::ReadUnitBackup(b.ctx.usb, options, Progress(b), b.ctx.clock);
  Notes(b.ctx.err, r.notes);
  const bool partial = r.status == bk::ReadResult::Status::kIncomplete;
  if (!r.Complete() && !(partial && b.partial)) {
    const int code = ReadFailed(b.ctx.err, r);
    if (partial) {
      b.ctx.err << "mrxctl: 'mrxctl backup --partial' saves what could be read, marked as "
                   "partial\n";
    }
    return code;
  }
  std::string error;
  b.ctx.out.flush();  // the backup may go to the same standard output
  if (!platform::WriteOutputFile(b.file, bk::BackupFile::Write(r.backup), error)) {
    SayCannotWrite(b.ctx, error);
    return kExitIoError;
  }
  std::ostream& said = b.file == "-" ? b.ctx.err : b.ctx.out;
  said << "Saved " << (partial ? "a partial backup: " : "") << "the settings of "
       << r.backup.modules.size() << " modules"
       << (r.backup.curves.empty() ? "" : " and the KLF310 curves") << " of the unit with serial "
       << r.backup.serial << " to " << b.file << ".\n";
  if (!partial) return kExitOk;
  // The file is what was asked for, but the unit was not read whole.
  Missing(b.ctx.err, r);
  b.ctx.err << "mrxctl: the backup is partial: it lacks " << r.backup.MissingText() << "\n";
  return kExitIoError;
}

const char* KindText(bk::RestoreOutcome::Kind kind) {
  switch (kind) {
    case bk::RestoreOutcome::Kind::kVerified:
      return "verified";
    case bk::RestoreOutcome::Kind::kWouldWrite:
      return "would write";
    case bk::RestoreOutcome::Kind::kSkipped:
      return "skipped";
    case bk::RestoreOutcome::Kind::kFailed:
      return "failed";
  }
  return "";
}

int RestoreFile(Backup& b) {
  bk::UnitBackup backup;
  if (int rc = LoadFile(b, b.file, backup); rc != kExitOk) return rc;
  bk::RestoreOptions options;
  for (unsigned a : b.only) options.only.push_back(static_cast<std::uint8_t>(a));
  options.dryRun = b.dryRun;
  options.curves = !b.noCurves;
  options.klfHost = b.ip;
  options.otherUnit = b.otherUnit;
  const bk::RestoreResult r = bk::Restore(b.ctx.usb, backup, options, Progress(b));
  if (r.status == bk::RestoreResult::Status::kNoUnit) {
    b.ctx.err << "mrxctl: " << r.error << "\n";
    return kExitUnavailable;
  }
  if (r.status == bk::RestoreResult::Status::kNoAnswer) {
    b.ctx.err << "mrxctl: " << r.error << "; nothing was written\n";
    return kExitIoError;
  }
  if (r.status == bk::RestoreResult::Status::kOtherUnit) {
    b.ctx.err << "mrxctl: " << r.error
              << "; nothing was written.\nmrxctl: 'restore --other-unit' writes it into this unit "
                 "all the same: each module keeps this unit's serial and delivery date, the "
                 "KLF310 its network address\n";
    return kExitDataError;
  }
  Notes(b.ctx.err, r.notes);
  bool failed = false, skipped = false;
  Json list = Json::array();
  for (const bk::RestoreOutcome& o : r.outcomes) {
    failed = failed || o.kind == bk::RestoreOutcome::Kind::kFailed;
    skipped = skipped || o.kind == bk::RestoreOutcome::Kind::kSkipped;
    if (b.ctx.json) {
      list.push_back({{"address", o.address},
                      {"curves", o.curves},
                      {"what", o.what},
                      {"result", KindText(o.kind)},
                      {"message", o.message}});
    } else {
      b.ctx.out << o.what << ": " << o.message << "\n";
    }
  }
  if (b.ctx.json) b.ctx.out << list.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
  if (b.dryRun) b.ctx.err << "mrxctl: a dry run: nothing was written\n";
  if (r.status == bk::RestoreResult::Status::kRefused) {
    b.ctx.err << "mrxctl: the backup holds values no card takes (listed above); nothing was "
                 "written\n";
    return kExitDataError;
  }
  if (r.status == bk::RestoreResult::Status::kCancelled) return kExitIoError;
  if (failed) {
    b.ctx.err << "mrxctl: the restore failed for some modules\n";
    return kExitIoError;
  }
  if (skipped) {
    b.ctx.err << "mrxctl: some modules were skipped, so the unit is not as the backup\n";
    return kExitDataError;
  }
  return kExitOk;
}

// One side of a comparison: a file, or the live unit read now.
int Side(Backup& b, const std::string& name, bool curves, bk::UnitBackup& backup) {
  if (name != kLiveUnit) {
    const int rc = LoadFile(b, name, backup);
    if (rc == kExitOk) SayPartial(b.ctx.err, name, backup);
    return rc;
  }
  bk::ReadOptions options;
  options.curves = curves;
  options.klfHost = b.ip;
  const bk::ReadResult r = bk::ReadUnitBackup(b.ctx.usb, options, Progress(b), b.ctx.clock);
  Notes(b.ctx.err, r.notes);
  if (!r.Complete()) return ReadFailed(b.ctx.err, r);
  backup = r.backup;
  return kExitOk;
}

int Diff(Backup& b) {
  bk::UnitBackup a, c;
  // The live unit's curves are read only when the other side has curves.
  const bool fileSide = b.file != kLiveUnit;
  if (int rc = Side(b, fileSide ? b.file : b.other, true, fileSide ? a : c); rc != kExitOk) {
    return rc;
  }
  const bk::UnitBackup& known = fileSide ? a : c;
  const bool curves = !b.noCurves && (!known.curves.empty() || b.file == b.other);
  if (int rc = Side(b, fileSide ? b.other : b.file, curves, fileSide ? c : a); rc != kExitOk) {
    return rc;
  }
  if (b.noCurves) {
    a.curves.clear();
    c.curves.clear();
  }
  const auto differences = bk::SettingsDiff(a, c);
  if (b.ctx.json) {
    Json list = Json::array();
    for (const bk::Difference& d : differences) {
      list.push_back({{"address", d.address},
                      {"model", d.model},
                      {"curves", d.curves},
                      {"field", d.what},
                      {"before", d.before},
                      {"after", d.after}});
    }
    b.ctx.out << list.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
  } else {
    for (const bk::Difference& d : differences) b.ctx.out << d.Text() << "\n";
    if (differences.empty() && b.ctx.terminal) b.ctx.err << "no differences\n";
  }
  return differences.empty() ? kExitOk : kExitDiffers;
}

}  // namespace

void AddBackupCommand(CLI::App& app, Context& ctx, std::function<int()>& action) {
  auto b = std::make_shared<Backup>(Backup{ctx, {}, {}, false, false, false, false, {}, {}});
  auto addIp = [b](CLI::App* command) {
    command->add_option("--ip", b->ip, "the KLF310 card's IPv4 address (else from its settings)")
        ->type_name("ADDRESS")
        ->check(CLI::ValidIPV4);
  };

  auto* backup =
      app.add_subcommand("backup",
                         "save every module's settings and the KLF310 curves into one file (- for "
                         "standard output)");
  backup->add_option("FILE", b->file, "the backup file to write")->required();
  backup->add_flag("--no-curves", b->noCurves, "leave the KLF310 curves out");
  backup->add_flag("--partial", b->partial,
                   "when a module or curves cannot be read, save the rest all the same, the file "
                   "naming what it lacks (the exit code still says the unit was not read whole)");
  addIp(backup);
  backup->callback([b, &action] { action = [b] { return Take(*b); }; });

  auto* restore = app.add_subcommand(
      "restore",
      "write a backup back into modules of the same type and size, each read back and compared");
  restore->add_option("FILE", b->file, "the backup file")->required();
  restore->add_option("--only", b->only, "restore only these module addresses")
      ->type_name("ADDRESS")
      ->check(CLI::Range(0u, 15u));
  restore->add_flag("--dry-run", b->dryRun, "say what would be written, write nothing");
  restore->add_flag("--no-curves", b->noCurves, "leave the KLF310 curves as they are");
  restore->add_flag("--other-unit", b->otherUnit,
                    "write a backup taken from a unit with another serial; each module keeps "
                    "this unit's serial and delivery date, the KLF310 its network address");
  addIp(restore);
  restore->callback([b, &action] { action = [b] { return RestoreFile(*b); }; });

  auto* diff = app.add_subcommand(
      "diff", "compare two backups, or a backup and the unit (-): changed fields by name");
  diff->add_option("A", b->file, "a backup file, or - for the unit")->required();
  diff->add_option("B", b->other, "a backup file, or - for the unit")->required();
  diff->add_flag("--no-curves", b->noCurves, "compare the settings only");
  addIp(diff);
  diff->callback([b, &action] { action = [b] { return Diff(*b); }; });
}

int BackupBeforeUpdate(Context& ctx, bool skip, SafetyBackup& safety) {
  std::ostream& out = ctx.out;
  std::ostream& err = ctx.err;
  if (skip) {
    out << "No backup of the unit's settings is taken (--no-backup).\n";
    return kExitOk;
  }
  const bk::ReadResult r = bk::ReadUnitBackup(ctx.usb, safety.options, {}, ctx.clock);
  Notes(err, r.notes);
  // A unit left with only its boot software (an update cut short) has no
  // settings to keep, and the update is what brings it back.
  if (r.status == bk::ReadResult::Status::kNoHostSoftware) {
    out << "No backup of the unit's settings could be taken: the unit runs no host software "
           "(only its boot software answers), so there are no settings to read.\n";
    return kExitOk;
  }
  const char* stop = "; nothing was written to the unit. Give --no-backup to update without one.\n";
  if (r.status == bk::ReadResult::Status::kIncomplete) {
    Missing(err, r);
    err << "mrxctl: the backup before the update is not whole: it lacks " << r.backup.MissingText()
        << stop;
    return kExitIoError;
  }
  if (!r.Complete()) {
    err << "mrxctl: the backup before the update failed: " << r.error << stop;
    return r.status == bk::ReadResult::Status::kNoUnit ? kExitUnavailable : kExitIoError;
  }
  std::string error;
  const auto file = bk::SafetyBackups::Save(r.backup, ctx.clock.WallTime(), error);
  if (file.empty()) {
    err << "mrxctl: the backup before the update could not be saved: " << error << stop;
    return kExitIoError;
  }
  out << "Saved a backup of the unit's settings to " << file.string() << "\n";
  safety.taken = true;
  safety.before = r.backup;
  return kExitOk;
}

void CompareAfterUpdate(Context& ctx, const SafetyBackup& safety) {
  std::ostream& out = ctx.out;
  std::ostream& err = ctx.err;
  if (!safety.taken) return;
  const bk::ReadResult r = bk::ReadUnitBackup(ctx.usb, safety.options);
  if (!r.Complete()) {
    err << "mrxctl: the settings could not be read after the update to compare them with the "
           "backup: "
        << r.error << "\n";
    return;
  }
  const auto differences = bk::SettingsDiff(safety.before, r.backup);
  if (differences.empty()) {
    out << "Compared with the backup: settings unchanged.\n";
    return;
  }
  std::set<std::string> modules;
  std::string names;
  for (const bk::Difference& d : differences) {
    const std::string name = d.model + " @" + std::to_string(d.address);
    if (modules.insert(name).second) names += (names.empty() ? "" : ", ") + name;
  }
  out << "Compared with the backup, the settings of these modules changed: " << names << "\n";
  for (const bk::Difference& d : differences) out << "  " << d.Text() << "\n";
}

}  // namespace tools::mrxctl
