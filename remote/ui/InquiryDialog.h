#pragma once

#include <QDialog>
#include <memory>
#include <thread>
#include <vector>

#include "platform/Bluetooth.h"
#include "platform/qt/MessagePump.h"
#include "platform/qt/WaitCursor.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace remote::ui {

// Finds units nearby: an inquiry thread reports each unit with a name, the
// list shows each address once, and "OK" returns the chosen unit. The wait
// cursor shows while the radio searches. Closing asks the inquiry to stop and
// waits for it at most kCloseWaitMs, so the window never freezes.
class InquiryDialog final : public QDialog {
  Q_OBJECT

 public:
  static constexpr std::uint32_t kWmDeviceFound = 0x600;
  static constexpr std::uint32_t kWmDiscoveryStatus = 0x601;
  // The search began: "Cancel" is enabled and the wait cursor shows.
  static constexpr std::uint32_t kWmSearching = 0x602;
  // The inquiry thread is done: the cursor comes back, the status line shows the text.
  static constexpr std::uint32_t kWmInquiryEnded = 0x603;
  static constexpr int kCloseWaitMs = 1500;

  explicit InquiryDialog(platform::Bluetooth& bluetooth, QWidget* parent = nullptr);
  ~InquiryDialog() override;

  // The chosen unit, valid after "OK".
  const platform::BtDeviceInfo& Selected() const { return selected_; }
  // "COM-HARDWARE": the unit's stream.
  std::string SelectedService() const;
  QListWidget* List() const { return list_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  QString StatusText() const;
  // The inquiry thread has not ended yet.
  bool InquiryRunning() const;

  void accept() override;
  void reject() override;

 private:
  struct Run;
  void Handle(const platform::Message& message);
  void StopInquiry(int waitMs);

  // Shared with the inquiry thread, which may post after the dialog has gone.
  std::shared_ptr<platform::qt::MessagePump> pump_;
  std::shared_ptr<Run> run_;
  QListWidget* list_;
  QLabel* status_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QTimer* tick_;
  QTimer* clearStatus_;
  std::vector<platform::BtDeviceInfo> found_;
  platform::BtDeviceInfo selected_;
  std::unique_ptr<platform::qt::WaitCursor> waitCursor_;
  std::thread thread_;
};

}  // namespace remote::ui
