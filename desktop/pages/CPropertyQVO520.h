#pragma once

#include <QFont>
#include <QTimer>
#include <array>
#include <memory>
#include <string>

#include "desktop/firmware/CCardDoloThread.h"
#include "desktop/firmware/UpdateRunner.h"
#include "desktop/pages/CMRXPropertyPage.h"
#include "platform/qt/MessagePump.h"
#include "protocol/unit/ProcessorRecord.h"

namespace desktop::pages {

// The tab of the QVO520 digital output card: four levels, four channel
// assignments and the operating mode, sent live as they change; and the
// card's two signal processors with their software, board identity and a
// download of new software from the carried packages.
class CPropertyQVO520 : public CMRXPropertyPage {
 public:
  static constexpr int kIdd = 104;
  static constexpr int kName = 1044;
  static constexpr int kMode = 1033;
  static constexpr int kLevel[] = {1081, 1083, 1085, 1087};
  static constexpr int kLevelText[] = {1082, 1084, 1086, 1088};
  static constexpr int kAssign[] = {1034, 1029, 1036, 1037};
  // Per processor, left then right.
  static constexpr int kHwType[] = {1074, 1078};
  static constexpr int kSwType[] = {1075, 1079};
  static constexpr int kSwSecond[] = {1077, 1091};
  static constexpr int kBoardSerial[] = {1006, 1015};
  static constexpr int kBoardDate[] = {1007, 1016};
  static constexpr int kUpdate[] = {1011, 1012};
  static constexpr int kEeWrite[] = {1017, 1018};
  static constexpr int kProgress = 1014;
  static constexpr int kDownloadText = 1013;
  static constexpr int kRefreshMs = 1000;

  static constexpr const char* kTextDownloadRunning =
      "The processor download is running. Please wait until it has finished.";

  explicit CPropertyQVO520(PageSite& site, QWidget* parent = nullptr);
  ~CPropertyQVO520() override;

  const char* GetRuntimeClassName() const override { return "CPropertyQVO520"; }

  int UpdateControls() override;
  void UpdateImage() override;
  void EnableControls(bool enable) override;
  bool OnSetActive() override;
  bool OnKillActive() override;

  bool DownloadRunning() const { return worker_ != nullptr; }
  // Reads both processor records and shows them; `force` redisplays always.
  void RefreshProcessors(bool force);

 protected:
  bool OnInitDialog() override;

 private:
  using RecordBytes = std::array<std::uint8_t, protocol::unit::ProcessorRecord::kSize>;

  void ShowLevels();
  void SendLevels();
  void SendAssignments();
  void ApplyModeRule();
  void TakeBoards();
  void ShowMembers();
  void StartDownload(int processor);
  void WriteBoard(int processor);
  void OnWorkerMessage(const platform::Message& message);

  std::array<RecordBytes, 2> records_{};
  std::array<RecordBytes, 2> shown_{};
  std::array<bool, 2> shownValid_{};
  std::array<std::string, 2> hwType_, swType_, swSecond_, boardSerial_;
  std::array<protocol::unit::BoardIdentity, 2> boards_{};
  QFont typeFont_;
  QTimer timer_;
  platform::qt::MessagePump target_;
  // Reads the download's reports and, at its end, its reason code.
  firmware::UpdateRunner runner_;
  std::unique_ptr<firmware::CCardDoloThread> worker_;
  // The processor the running download is for, and the version it carries.
  int downloading_ = 0;
  firmware::SoftwareVersion carried_{};
  bool showing_ = false;
};

}  // namespace desktop::pages
