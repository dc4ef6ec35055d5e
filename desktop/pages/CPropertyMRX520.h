#pragma once

#include <QTimer>
#include <memory>
#include <string>

#include "desktop/firmware/CDoloThread.h"
#include "desktop/firmware/CheckedUpdateTransport.h"
#include "desktop/firmware/UpdateRunner.h"
#include "desktop/handheld/CPPCDoloThread.h"
#include "desktop/pages/CMRXPropertyPage.h"
#include "platform/qt/MessagePump.h"
#include "platform/qt/WorkerPrompt.h"

namespace desktop::pages {

// The tab of the unit itself (address 0): its options, versions and clock,
// software and boot updates, and in service mode the Bluetooth module's
// initialisation.
class CPropertyMRX520 : public CMRXPropertyPage {
 public:
  static constexpr int kIdd = 102;
  static constexpr int kSyncClock = 1006;
  static constexpr int kSoftwareUpdate = 1007;
  static constexpr int kVersionLine = 1011;
  static constexpr int kBootLine = 1012;
  static constexpr int kClockLine = 1013;
  static constexpr int kProgress = 1014;
  static constexpr int kBootUpdate = 1015;
  static constexpr int kBtInit = 1017;
  static constexpr int kHddOption = 1063;
  static constexpr int kRemoteUpdate = 1066;
  static constexpr int kVolumeStep = 1067;
  static constexpr int kLanguage = 1068;
  static constexpr int kAltScreen = 1069;
  static constexpr int kClockDisplay = 1070;
  static constexpr int kClockTimerMs = 1000;

  static constexpr const char* kTextBtStart = "BT Module Init";
  static constexpr const char* kTextBtStop = "Stop BT Module Init";
  // Said in the version line when the unit's version does not bear an update out.
  static constexpr const char* kTextNotTakenFormat = "Update not taken: the unit reports V%d.%03d";
  static constexpr const char* kTextNotConfirmed = "Update not confirmed: the unit does not answer";
  // How long the unit may take to come back after a host update.
  static constexpr std::uint32_t kComeBackMs = 15000;
  static constexpr std::uint32_t kComeBackStepMs = 250;

  explicit CPropertyMRX520(PageSite& site, QWidget* parent = nullptr);
  ~CPropertyMRX520() override;

  const char* GetRuntimeClassName() const override { return "CPropertyMRX520"; }

  int UpdateControls() override;
  void UpdateImage() override;
  void EnableControls(bool enable) override;
  bool OnSetActive() override;

  bool UpdateRunning() const { return worker_ != nullptr; }
  void ShowClockLine();

  // The list texts of the unit's option values, and back.
  static std::string VolumeStepText(std::uint8_t tenths);
  static std::uint8_t VolumeStepValue(const std::string& text);
  static std::string AlternativeScreenText(std::uint16_t seconds);
  static std::uint16_t AlternativeScreenSeconds(const std::string& text);

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(bool saveAndValidate) override;

 private:
  void StartUpdate(bool boot);
  void StartRemoteUpdate();
  void ToggleBtInit();
  void OnWorkerMessage(const platform::Message& message);
  // Settles an update whose closing commands went unanswered by the version
  // the unit reports once it is back (it restarts after a host update).
  void DecideByVersion(firmware::UpdateResult& result);
  std::string SoftwareVersionLine() const;

  std::string version_;
  std::string bootVersion_;
  std::string serial_;
  QTimer clockTimer_;
  platform::qt::MessagePump target_;
  // Reads the worker's reports and, at its end, its reason code.
  firmware::UpdateRunner runner_;
  // The unit's or the handheld's update, whichever runs; the handheld's
  // remote API lives as long as its worker.
  std::unique_ptr<platform::CWinThread> worker_;
  bool unitUpdate_ = false;  // the worker updates the unit, not the handheld
  bool bootUpdate_ = false;
  // What the unit update runs on: it keeps whether begin, end and start were answered.
  std::unique_ptr<firmware::CheckedUpdateTransport> transport_;
  std::unique_ptr<platform::RemoteApi> handheld_;
  std::unique_ptr<platform::Prompt> sitePrompt_;
  std::unique_ptr<platform::qt::WorkerPrompt> workerPrompt_;
  bool btInit_ = false;
};

}  // namespace desktop::pages
