#include "desktop/shell/UnitBackupActions.h"

#include <QEventLoop>
#include <QFileDialog>
#include <QMetaObject>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <ctime>

#include "desktop/backup/BackupFile.h"
#include "desktop/backup/ReadUnitBackup.h"
#include "desktop/backup/Restore.h"
#include "desktop/backup/SafetyBackups.h"
#include "desktop/backup/SettingsDiff.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/CWinThread.h"

namespace desktop::shell {

namespace {

using Icon = pages::Prompt::Icon;
using Buttons = pages::Prompt::Buttons;
using Answer = pages::Prompt::Answer;

// A message box stays readable: the first lines of a long list, then a count.
constexpr std::size_t kListedLines = 25;

std::string Listed(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size() && i < kListedLines; ++i) text += "\n" + lines[i];
  if (lines.size() > kListedLines) {
    text += "\n... and " + std::to_string(lines.size() - kListedLines) + " more";
  }
  return text;
}

std::vector<std::string> DifferenceLines(const std::vector<backup::Difference>& differences) {
  std::vector<std::string> lines;
  for (const backup::Difference& d : differences) lines.push_back(d.Text());
  return lines;
}

std::string CountText(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

UnitBackupActions::UnitBackupActions(QWidget* parent, pages::PageSite& site,
                                     std::function<void()> unitChanged)
    : parent_(parent), site_(site), unitChanged_(std::move(unitChanged)) {}

Answer UnitBackupActions::Tell(const std::string& text, Icon icon, Buttons buttons) {
  return site_.GetPrompt().Ask(text, buttons, icon);
}

void UnitBackupActions::RunWithProgress(
    const QString& title, const std::function<void(const backup::BackupProgress&)>& work) {
  const pages::ModalScope scope(site_);
  QProgressDialog dialog(title, QStringLiteral("Cancel"), 0, 0, parent_);
  dialog.setWindowTitle(title);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(0);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  dialog.setMinimumWidth(360);
  std::atomic<bool> cancel{false};
  QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] {
    cancel = true;
    dialog.setLabelText(QStringLiteral("Stopping after the current step..."));
  });
  backup::BackupProgress progress;
  progress.cancel = &cancel;
  // Reports cross to the dialog's thread; ones still queued when it has gone
  // are dropped with it.
  QProgressDialog* target = &dialog;
  progress.report = [target](unsigned step, unsigned total, const std::string& text) {
    QMetaObject::invokeMethod(
        target,
        [target, step, total, line = QString::fromStdString(text)] {
          target->setMaximum(static_cast<int>(total));
          target->setValue(static_cast<int>(step));
          if (!target->wasCanceled()) target->setLabelText(line);
        },
        Qt::QueuedConnection);
  };
  dialog.show();
  QEventLoop loop;
  platform::CFunctionThread worker([&] {
    work(progress);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  worker.Resume();
  loop.exec();
  worker.Join();
}

std::optional<backup::UnitBackup> UnitBackupActions::Load(const std::filesystem::path& file) {
  backup::UnitBackup loaded;
  std::string error;
  if (!backup::BackupFile::Load(file, loaded, error)) {
    Tell("The backup cannot be used: " + error, Icon::kError);
    return std::nullopt;
  }
  return loaded;
}

void UnitBackupActions::BackUp() {
  QString file;
  {
    const pages::ModalScope scope(site_);
    file = QFileDialog::getSaveFileName(parent_, QStringLiteral("Back up unit"),
                                        QStringLiteral("MRX520.mrxb"),
                                        QString::fromLatin1(kFileFilter));
  }
  if (!file.isEmpty()) BackUpTo(file.toStdString());
}

void UnitBackupActions::Restore() {
  QString file;
  {
    const pages::ModalScope scope(site_);
    file = QFileDialog::getOpenFileName(parent_, QStringLiteral("Restore"), QString(),
                                        QString::fromLatin1(kFileFilter));
  }
  if (!file.isEmpty()) RestoreFrom(file.toStdString());
}

void UnitBackupActions::Compare() {
  QString file;
  {
    const pages::ModalScope scope(site_);
    file = QFileDialog::getOpenFileName(parent_, QStringLiteral("Compare with backup"), QString(),
                                        QString::fromLatin1(kFileFilter));
  }
  if (!file.isEmpty()) CompareWith(file.toStdString());
}

bool UnitBackupActions::BackUpTo(const std::filesystem::path& file) {
  backup::ReadOptions options;
  backup::ReadResult read;
  for (;;) {
    RunWithProgress(QStringLiteral("Backing up the unit"), [&](const backup::BackupProgress& p) {
      read = backup::ReadUnitBackup(unitlink::theTiroUSB, options, p, site_.GetClock());
    });
    // A KLF310 card off this computer's network still leaves its settings to keep.
    if (!read.curvesFailed || Tell("The KLF310 curves could not be read: " + read.error +
                                       ".\nBack up the settings without the curves?",
                                   Icon::kQuestion, Buttons::kYesNo) != Answer::kYes) {
      break;
    }
    options.curves = false;
  }
  if (read.status == backup::ReadResult::Status::kCancelled) return false;
  if (read.curvesFailed) return false;
  const bool partial = read.status == backup::ReadResult::Status::kIncomplete;
  if (!read.Complete() && !partial) {
    Tell("The backup failed: " + read.error + "\nNothing was saved.", Icon::kError);
    return false;
  }
  // A module that does not answer: its settings are not there to keep, the
  // others may still be worth keeping, as a backup that says what it lacks.
  if (partial && Tell("These could not be read:" + Listed(read.missing) +
                          "\nSave a partial backup without them? It names what it lacks.",
                      Icon::kQuestion, Buttons::kYesNo) != Answer::kYes) {
    return false;
  }
  std::string error;
  if (!backup::BackupFile::Save(file, read.backup, error)) {
    Tell("The backup could not be saved: " + error, Icon::kError);
    return false;
  }
  std::string text =
      "Saved the settings of " + CountText(read.backup.modules.size(), "module", "modules");
  if (!read.backup.curves.empty()) {
    text +=
        " and the curves of " + CountText(read.backup.curves.size(), "KLF310 card", "KLF310 cards");
  }
  text += " to " + file.string() + "." + Listed(read.notes);
  if (partial) text = "A partial backup: " + text + "\nIt lacks " + read.backup.MissingText() + ".";
  Tell(text, partial ? Icon::kError : Icon::kInformation);
  return !partial;
}

bool UnitBackupActions::RestoreFrom(const std::filesystem::path& file) {
  const auto loaded = Load(file);
  if (!loaded) return false;
  if (Tell("Write the settings of " + file.string() +
               " into the unit?\nEvery module of the backup whose type and size match is "
               "written, stored and read back; the others are left as they are.",
           Icon::kQuestion, Buttons::kYesNo) != Answer::kYes) {
    return false;
  }
  backup::RestoreResult result;
  backup::RestoreOptions options;
  options.curves = !loaded->curves.empty();
  for (;;) {
    RunWithProgress(QStringLiteral("Restoring the unit's settings"),
                    [&](const backup::BackupProgress& p) {
                      result = backup::Restore(unitlink::theTiroUSB, *loaded, options, p);
                    });
    if (result.status != backup::RestoreResult::Status::kOtherUnit) break;
    // Nothing was written: the user decides whether another unit's settings go in.
    if (Tell("The backup was taken from the unit with serial " +
                 std::to_string(result.backupSerial) + "; this unit's serial is " +
                 std::to_string(result.unitSerial) +
                 ".\nWrite it into this unit all the same? Each module keeps this unit's serial "
                 "and delivery date, and the KLF310 its network address.",
             Icon::kQuestion, Buttons::kYesNo) != Answer::kYes) {
      return false;
    }
    options.otherUnit = true;
  }
  std::vector<std::string> lines = result.notes;
  for (const backup::RestoreOutcome& o : result.outcomes) {
    const char* how = o.kind == backup::RestoreOutcome::Kind::kVerified  ? "written and verified"
                      : o.kind == backup::RestoreOutcome::Kind::kSkipped ? "skipped"
                                                                         : "FAILED";
    lines.push_back(o.what + ": " + how + (o.message.empty() ? "" : " (" + o.message + ")"));
  }
  const bool ok = result.status == backup::RestoreResult::Status::kDone && result.Success();
  std::string text = ok ? "The settings of " + file.string() + " are back in the unit."
                        : "The restore did not write everything the backup holds." +
                              (result.error.empty() ? std::string() : " " + result.error);
  Tell(text + Listed(lines), ok ? Icon::kInformation : Icon::kError);
  // The tabs show what the unit holds now.
  if (unitChanged_) QTimer::singleShot(0, parent_, unitChanged_);
  return ok;
}

bool UnitBackupActions::CompareWith(const std::filesystem::path& file) {
  const auto loaded = Load(file);
  if (!loaded) return false;
  backup::ReadResult read;
  RunWithProgress(
      QStringLiteral("Reading the unit's settings"), [&](const backup::BackupProgress& p) {
        backup::ReadOptions options;
        options.curves = !loaded->curves.empty();
        read = backup::ReadUnitBackup(unitlink::theTiroUSB, options, p, site_.GetClock());
      });
  if (read.status == backup::ReadResult::Status::kCancelled) return false;
  if (!read.Complete()) {
    Tell("The unit's settings could not be read: " + read.error, Icon::kError);
    return false;
  }
  const auto differences = backup::SettingsDiff(*loaded, read.backup);
  if (differences.empty()) {
    Tell("The unit holds the settings of " + file.string() + ": no differences.",
         Icon::kInformation);
  } else {
    Tell("From " + file.string() + " to the unit, " +
             CountText(differences.size(), "difference:", "differences:") +
             Listed(DifferenceLines(differences)),
         Icon::kInformation);
  }
  return true;
}

bool UnitBackupActions::BeforeUpdate(bool curves) {
  beforeUpdate_.reset();
  safetyFile_.clear();
  beforeCurves_ = curves;
  backup::ReadResult read;
  RunWithProgress(QStringLiteral("Backing up the settings before the update"),
                  [&](const backup::BackupProgress& p) {
                    backup::ReadOptions options;
                    options.curves = curves;
                    read =
                        backup::ReadUnitBackup(unitlink::theTiroUSB, options, p, site_.GetClock());
                  });
  std::string error;
  // A unit left with only its boot software: the update is how it comes back.
  if (read.status == backup::ReadResult::Status::kNoHostSoftware) {
    Tell(
        "No backup of the unit's settings could be taken before the update: the unit runs no "
        "host software (only its boot software answers), so there are no settings to read.",
        Icon::kInformation);
    return true;
  }
  if (read.status == backup::ReadResult::Status::kCancelled) {
    error = "it was cancelled";
  } else if (read.status == backup::ReadResult::Status::kIncomplete) {
    error = "it could not read " + read.backup.MissingText() + Listed(read.missing);
  } else if (!read.Complete()) {
    error = read.error;
  } else {
    safetyFile_ = backup::SafetyBackups::Save(read.backup, std::time(nullptr), error);
  }
  if (!safetyFile_.empty()) {
    beforeUpdate_ = std::move(read.backup);
    return true;
  }
  return Tell("No backup of the unit's settings could be written before the update: " + error +
                  "\nUpdate all the same, without a backup?",
              Icon::kQuestion, Buttons::kYesNo) == Answer::kYes;
}

void UnitBackupActions::AfterUpdate(bool succeeded) {
  if (!beforeUpdate_) return;
  const backup::UnitBackup before = std::move(*beforeUpdate_);
  beforeUpdate_.reset();
  const std::string where = safetyFile_.string();
  if (!succeeded) {
    Tell("The settings from before the update are kept in " + where +
             "; \"Restore...\" writes them back.",
         Icon::kInformation);
    return;
  }
  // The unit (or card) restarts after its update: read until it answers whole.
  backup::ReadResult read;
  RunWithProgress(QStringLiteral("Comparing the settings with the backup"),
                  [&](const backup::BackupProgress& p) {
                    backup::ReadOptions options;
                    options.curves = beforeCurves_;
                    for (int waited = 0;; waited += kComeBackStepMs) {
                      read = backup::ReadUnitBackup(unitlink::theTiroUSB, options, p,
                                                    site_.GetClock());
                      if (read.Complete() || p.Cancelled() || waited >= kComeBackMs) break;
                      site_.GetClock().Sleep(kComeBackStepMs);
                    }
                  });
  if (!read.Complete()) {
    Tell(
        "The update has finished, but the unit's settings could not be read to compare them "
        "with the backup in " +
            where + ": " + (read.error.empty() ? std::string("cancelled") : read.error),
        Icon::kError);
    return;
  }
  const auto differences = backup::SettingsDiff(before, read.backup);
  if (differences.empty()) {
    Tell("The update has finished: settings unchanged.\nThe backup from before it is in " + where +
             ".",
         Icon::kInformation);
    return;
  }
  Tell("The update has finished, but settings changed:" + Listed(DifferenceLines(differences)) +
           "\nThe backup from before it is in " + where + "; \"Restore...\" writes it back.",
       Icon::kError);
}

}  // namespace desktop::shell
