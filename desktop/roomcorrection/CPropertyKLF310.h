#pragma once

#include <QImage>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "desktop/firmware/UpdateRunner.h"
#include "desktop/pages/CMRXPropertyPage.h"
#include "desktop/roomcorrection/CFilterDesign.h"
#include "desktop/roomcorrection/CKLF310Thread.h"
#include "desktop/roomcorrection/KlfCurveTransport.h"
#include "platform/qt/MessagePump.h"
#include "protocol/unit/Klf310Image.h"

namespace desktop::roomcorrection {

class CKLF310AdvancedDlg;

// The tab of the KLF310 room-correction card: network identity, the channel
// table with its band graphs, live channel changes to the running card, the
// versions of the card's software, and the advanced dialog with each
// channel's correction curve.
class CPropertyKLF310 : public pages::CMRXPropertyPage {
 public:
  static constexpr int kIdd = 116;
  static constexpr int kSoftwareUpdate = 1007;
  static constexpr int kBootVersion = 1012;
  static constexpr int kProgress = 1014;
  static constexpr int kIpAddress = 1111;
  static constexpr int kSubnetMask = 1112;
  static constexpr int kMacAddress = 1116;
  static constexpr int kStatus = 1117;
  static constexpr int kGraphLeft = 1131;
  static constexpr int kOctaveFraction = 1132;
  static constexpr int kGraphRight = 1134;
  static constexpr int kChannelCount = 1151;
  static constexpr int kAdvancedOption = 1152;
  static constexpr int kChannels = 16;
  static constexpr int kMinChannels = 6;
  static constexpr int kMinChannelsSerial112 = 10;
  static constexpr std::uint16_t kSerialWithTenChannels = 112;
  static constexpr int kLiveDelayMs = 10;
  static constexpr int kVersionReads = 20;
  static constexpr std::uint32_t kVersionReadIntervalMs = 500;
  static constexpr const char* kTextUpdateRunning =
      "The software update of the KLF310 is running. Please wait until it has finished.";
  // Why an update failed, as the tab says it at the update's end.
  static constexpr const char* kTextSilent =
      "The KLF310 software update failed: the card stopped answering.";
  static constexpr const char* kTextBlocks =
      "The KLF310 software update failed: the card did not take every block of its software. "
      "Please run the update again.";
  static constexpr const char* kTextNotTaken =
      "The KLF310 software update failed: the card now reports V%d.%03d, not the new V%d.%03d.";
  static constexpr const char* kTextNotConfirmed =
      "The KLF310 software update failed: the card reports no software version since.";
  static constexpr const char* kTextFailed = "The KLF310 software update failed.";

  // Row controls of channel `ch` (0-15). Screen row r of the left group holds
  // channel 2r, of the right group 2r + 1; the first row's check box, delay
  // and button ids stand apart from those of the rows below it.
  static constexpr int ActiveId(int ch) { return RowId(ch, 1149, 1142, 1163, 1156); }
  static constexpr int StartId(int ch) { return 2000 + 4 * (ch / 2) + (ch % 2) * 2; }
  static constexpr int StopId(int ch) { return 2001 + 4 * (ch / 2) + (ch % 2) * 2; }
  static constexpr int DelayId(int ch) { return RowId(ch, 2048, 2032, 2049, 2039); }
  static constexpr int NameId(int ch) { return (ch % 2 != 0 ? 2058 : 2050) + ch / 2; }
  static constexpr int AdvancedId(int ch) { return RowId(ch, 1104, 1090, 1105, 1097); }

  explicit CPropertyKLF310(pages::PageSite& site, QWidget* parent = nullptr);
  ~CPropertyKLF310() override;

  const char* GetRuntimeClassName() const override { return "CPropertyKLF310"; }

  int UpdateControls() override;
  void UpdateImage() override;
  void EnableControls(bool enable) override;
  bool OnKillActive() override;
  // The advanced dialog with channel 0's curve buffer, as the card's curves
  // are not read for a picture.
  std::vector<QWidget*> PictureDialogs() override;

  // How curves reach the card; the page hands it to its dialog.
  KlfCurveTransport& CurveTransport() { return transport_; }
  // The channel's "Advanced" button.
  void OpenAdvanced(int channel);
  CKLF310AdvancedDlg* AdvancedDialog() const { return advanced_.get(); }
  // Sends the channel records that changed since the last send, as the
  // live timer does when it fires.
  void SendChangedChannels();
  bool LivePending() const { return liveTimer_.isActive(); }
  // Where the card's update worker reports; its messages arrive in the
  // event loop as OnWorkerMessage.
  platform::MessageTarget& WorkerTarget() { return target_; }
  // Before the worker is resumed: controls off, progress bar shown at 0.
  void BeginUpdate();
  bool UpdateRunning() const { return updateRunning_; }
  void OnWorkerMessage(const platform::Message& message);
  const QImage& Graph(int side) const { return graphImages_[static_cast<std::size_t>(side)]; }

 protected:
  bool OnInitDialog() override;

 private:
  static constexpr int RowId(int ch, int firstLeft, int restLeft, int firstRight, int restRight) {
    const int r = ch / 2;
    if (ch % 2 != 0) return r == 0 ? firstRight : restRight + r - 1;
    return r == 0 ? firstLeft : restLeft + r - 1;
  }

  int NumberOfChannels() const;
  bool AdvancedOption() const;
  // The channel-count rule; corrects the image's configuration word.
  void ApplyChannelCountRule();
  // Step 3 of taking the controls: the channel table from the rows.
  void TakeChannelTable();
  void ShowChannelTable();
  void ShowVersions();
  void DrawGraphs();
  void ApplyEnabling();
  void ControlChanged();
  void ChannelCountChosen();
  void StartSoftwareUpdate();
  // The card's IPv4 address as the IP field shows it.
  std::string CardAddress() const;
  // After the worker: the descriptor again, and after a successful update
  // until both version entries are valid.
  // The application version the card reports after the update; none when it
  // reports none.
  std::optional<firmware::SoftwareVersion> ReadVersionsAfterUpdate(bool success);
  // Says why the update failed, from its result.
  void SayUpdateFailed(const firmware::UpdateResult& result);

  KlfCurveTransport transport_;
  std::unique_ptr<CKLF310Thread> worker_;
  std::unique_ptr<CKLF310AdvancedDlg> advanced_;
  std::array<CFilterDesign, 2> graphs_;
  std::array<QImage, 2> graphImages_;
  QTimer liveTimer_;
  bool enabled_ = false;
  bool showing_ = false;  // controls are being filled: their changes are not the user's
  bool updateRunning_ = false;
  platform::qt::MessagePump target_;
  // Reads the update's reports and, at its end, its reason code.
  firmware::UpdateRunner runner_;
};

}  // namespace desktop::roomcorrection
