#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "desktop/backup/BackupProgress.h"
#include "desktop/backup/UnitBackup.h"
#include "desktop/pages/PageSite.h"

class QWidget;

namespace desktop::shell {

// The sheet's "Back up unit...", "Restore..." and "Compare with backup..."
// and the backup kept around every software update. Each long step runs on
// its own thread behind a progress dialog with Cancel; what happened is told
// through the site's prompt.
class UnitBackupActions {
 public:
  static constexpr const char* kBackUpCaption = "Back up unit...";
  static constexpr const char* kRestoreCaption = "Restore...";
  static constexpr const char* kCompareCaption = "Compare with backup...";
  // The file dialogs' filter.
  static constexpr const char* kFileFilter = "MRX520 settings backups (*.mrxb);;All files (*)";

  // `unitChanged` runs from the event loop after a restore has written to the unit.
  UnitBackupActions(QWidget* parent, pages::PageSite& site, std::function<void()> unitChanged);

  // The menu entries: ask for a file, then do it.
  void BackUp();
  void Restore();
  void Compare();

  // The same without the file dialog; true when it all worked.
  bool BackUpTo(const std::filesystem::path& file);
  bool RestoreFrom(const std::filesystem::path& file);
  bool CompareWith(const std::filesystem::path& file);

  // Around an update: see PageSite.
  bool BeforeUpdate(bool curves);
  void AfterUpdate(bool succeeded);
  // The backup written before the last update; empty when none.
  const std::filesystem::path& SafetyBackup() const { return safetyFile_; }

  // How long the comparison after an update waits for the unit to answer
  // whole again (it restarts after a software update).
  static constexpr int kComeBackMs = 20000;
  static constexpr int kComeBackStepMs = 500;

 private:
  // Runs `work` on its own thread while a modal progress dialog shows its reports.
  void RunWithProgress(const QString& title,
                       const std::function<void(const backup::BackupProgress&)>& work);
  pages::Prompt::Answer Tell(const std::string& text, pages::Prompt::Icon icon,
                             pages::Prompt::Buttons buttons = pages::Prompt::Buttons::kOk);
  std::optional<backup::UnitBackup> Load(const std::filesystem::path& file);

  QWidget* parent_;
  pages::PageSite& site_;
  std::function<void()> unitChanged_;
  // The unit's settings before the running update, and where they were saved.
  std::optional<backup::UnitBackup> beforeUpdate_;
  bool beforeCurves_ = false;
  std::filesystem::path safetyFile_;
};

}  // namespace desktop::shell
