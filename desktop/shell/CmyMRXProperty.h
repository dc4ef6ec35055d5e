#pragma once

#include <QDialog>
#include <QPointer>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "desktop/pages/PageClasses.h"
#include "desktop/pages/PageSite.h"
#include "desktop/shell/SheetPrompt.h"

class QTabWidget;
class QToolButton;

namespace desktop::pages {
class CPropertyPage;
class CPropertyValdur;
class CPropertyMRX520;
}  // namespace desktop::pages
namespace platform::qt {
class DeviceWatcher;
}

namespace desktop::shell {

class UnitBackupActions;

// The program's one window: a modal sheet with the about tab, the main unit
// tab and one tab per answering card in address order, rebuilt on every
// device change. Enter and Escape never close it; closing the window does.
class CmyMRXProperty final : public QDialog, public pages::PageSite {
 public:
  static constexpr const char* kCaption = "Valdur MRX520 Manager";
  static constexpr const char* kTextUpdateRunning =
      "A software update is running. Please wait until it has finished.";

  CmyMRXProperty(bool serviceMode, pages::Prompt& prompt, platform::Clock& clock,
                 std::span<const pages::PageClass> cardPages = pages::CardPageClasses());
  ~CmyMRXProperty() override;

  // Discovery on every change of the device directory.
  void WatchDevices(const std::filesystem::path& directory = {});
  // A device-change notification, whatever its kind.
  void OnDeviceChange();
  void Discover();

  // PageSite.
  bool ServiceMode() const override { return serviceMode_; }
  pages::Prompt& GetPrompt() override { return pagePrompt_; }
  platform::Clock& GetClock() override { return clock_; }
  pages::CMRXPropertyPage* FindCardPage(std::string_view runtimeClass) override;
  void EnterModal() override;
  void LeaveModal() override;
  bool BeforeUpdate(bool curves) override;
  void AfterUpdate(bool succeeded) override;

  pages::CPropertyValdur* AboutPage() const { return about_; }
  pages::CPropertyMRX520* MainPage() const { return main_; }
  QTabWidget* Tabs() const { return tabs_; }
  UnitBackupActions& Backups() { return *backups_; }
  // The button beside the tabs whose menu holds the backup entries.
  QToolButton* BackupButton() const { return backupButton_; }
  std::vector<pages::CMRXPropertyPage*> CardPages();
  int Discoveries() const { return discoveries_; }
  int DiscoveriesWithoutUnit() const { return discoveriesWithoutUnit_; }

  // Shows every tab in turn and writes DIR/<NN>-<caption>.png of the sheet.
  bool RenderTabs(const std::filesystem::path& directory, std::string& error);

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void OnInitDialog();
  void OnTabChanged(int index);
  bool LeaveCurrentPage();
  void AddCardPage(pages::CMRXPropertyPage* page, std::uint8_t address, std::uint8_t subAddress,
                   const std::uint8_t* descriptor);
  void RemoveAllCardPages();

  const bool serviceMode_;
  pages::Prompt& prompt_;
  SheetPrompt pagePrompt_;
  platform::Clock& clock_;
  std::span<const pages::PageClass> cardPageClasses_;
  std::mutex listLock_;
  QTabWidget* tabs_;
  pages::CPropertyValdur* about_;
  pages::CPropertyMRX520* main_;
  std::vector<pages::CMRXPropertyPage*> cards_;
  QPointer<pages::CPropertyPage> current_;
  std::unique_ptr<platform::qt::DeviceWatcher> watcher_;
  std::unique_ptr<UnitBackupActions> backups_;
  QToolButton* backupButton_;
  bool initialised_ = false;
  bool switching_ = false;  // tab changes the sheet makes itself
  int modal_ = 0;           // handlers of pages inside their own event loop (a box, a dialog)
  bool discovering_ = false;
  bool discoveryPending_ = false;
  int discoveries_ = 0;
  int discoveriesWithoutUnit_ = 0;
};

}  // namespace desktop::shell
