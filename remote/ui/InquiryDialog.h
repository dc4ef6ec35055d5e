#pragma once

#include <QDialog>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/Bluetooth.h"
#include "remote/ui/MessagePump.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace remote::ui {

// Finds units nearby: an inquiry thread reports each unit with a name, the
// list shows each address once, and "OK" returns the chosen unit.
class InquiryDialog final : public QDialog {
  Q_OBJECT

 public:
  static constexpr std::uint32_t kWmDeviceFound = 0x600;
  static constexpr std::uint32_t kWmDiscoveryStatus = 0x601;
  static constexpr std::uint32_t kWmCancelEnabled = 0x602;

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
  bool InquiryRunning() const { return thread_.joinable() && !ended_; }

  void accept() override;
  void reject() override;

 private:
  void Handle(const platform::Message& message);
  void RunInquiry();
  void WaitForInquiry();

  platform::Bluetooth& bluetooth_;
  MessagePump pump_;
  QListWidget* list_;
  QLabel* status_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QTimer* tick_;
  QTimer* clearStatus_;
  std::vector<platform::BtDeviceInfo> found_;
  platform::BtDeviceInfo selected_;
  std::atomic<bool> cancel_flag_{false};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

}  // namespace remote::ui
