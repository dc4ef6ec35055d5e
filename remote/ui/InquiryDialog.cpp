#include "remote/ui/InquiryDialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "platform/Bytes.h"
#include "platform/PollLoop.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/DeviceStore.h"

namespace remote::ui {

namespace {
constexpr int kTickMs = 500;
constexpr int kStatusClearMs = 60000;
}  // namespace

// What the dialog and its inquiry thread share: the cancel request (a wake-up
// the stack's inquiry gives up on) and the end event.
struct InquiryDialog::Run {
  platform::PollLoop cancel;
  std::mutex mutex;
  std::condition_variable changed;
  bool ended = false;

  void End() {
    std::lock_guard lock(mutex);
    ended = true;
    changed.notify_all();
  }
  bool WaitEnded(int ms) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return ended; });
  }
};

InquiryDialog::InquiryDialog(platform::Bluetooth& bluetooth, QWidget* parent)
    : QDialog(parent),
      pump_(std::make_shared<platform::qt::MessagePump>(
          this, [this](const platform::Message& m) { Handle(m); })),
      run_(std::make_shared<Run>()),
      list_(new QListWidget(this)),
      status_(new QLabel(this)),
      ok_(new QPushButton("OK", this)),
      cancel_(new QPushButton("Cancel", this)),
      tick_(new QTimer(this)),
      clearStatus_(new QTimer(this)) {
  setWindowTitle("Bluetooth Devices");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(status_);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &InquiryDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &InquiryDialog::reject);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
    ok_->setEnabled(false);
    const auto items = list_->selectedItems();
    const int row = items.isEmpty() ? -1 : list_->row(items.front());
    if (row >= 0 && static_cast<std::size_t>(row) < found_.size()) {
      selected_ = found_[static_cast<std::size_t>(row)];
      ok_->setEnabled(true);
    }
  });
  connect(clearStatus_, &QTimer::timeout, this, [this] {
    clearStatus_->stop();
    status_->clear();
  });

  ok_->setEnabled(false);
  cancel_->setEnabled(false);
  status_->setText("Init in progress ...");
  tick_->start(kTickMs);
  clearStatus_->start(kStatusClearMs);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) resize(screen->availableSize());
  thread_ = std::thread([stack = &bluetooth, pump = pump_, run = run_] {
    auto post = [&](std::uint32_t id, std::string text = {}, std::vector<std::uint8_t> bytes = {}) {
      pump->Post({id, 0, std::move(text), std::move(bytes)});
    };
    post(kWmDiscoveryStatus, "Looking for devices ...");
    post(kWmSearching);
    platform::BtError error;
    const bool ok = stack->CancellableInquiry(
        [&](const platform::BtDeviceInfo& device) {
          // Units without a name are listed too, by their address.
          std::vector<std::uint8_t> address(8);
          platform::PutU32(address, 0, device.address.low);
          platform::PutU32(address, 4, device.address.high);
          post(kWmDeviceFound, device.name, std::move(address));
          return !run->cancel.Stopping();
        },
        run->cancel.WakeFd(), error);
    char status[40] = "";
    if (!ok) std::snprintf(status, sizeof status, "Socket Error: %d", error.number);
    post(kWmInquiryEnded, status);
    run->End();
  });
}

InquiryDialog::~InquiryDialog() {
  StopInquiry(kCloseWaitMs);
  pump_->Close();  // nothing reaches this window any more
  // Every stack gives up at once when cancelled, so this does not wait.
  if (thread_.joinable()) thread_.join();
}

std::string InquiryDialog::SelectedService() const {
  return std::string(protocol::remote::kServiceHardware);
}

void InquiryDialog::StopInquiry(int waitMs) {
  run_->cancel.Stop();
  run_->WaitEnded(waitMs);
}

bool InquiryDialog::InquiryRunning() const {
  std::lock_guard lock(run_->mutex);
  return !run_->ended;
}

QString InquiryDialog::StatusText() const {
  return status_->text();
}

void InquiryDialog::Handle(const platform::Message& message) {
  switch (message.id) {
    case kWmDiscoveryStatus:
      status_->setText(QString::fromStdString(message.text));
      break;
    case kWmSearching:
      cancel_->setEnabled(true);
      waitCursor_ = std::make_unique<platform::qt::WaitCursor>();
      break;
    case kWmInquiryEnded:
      waitCursor_.reset();
      // A failure stays readable; a search that ended well clears the line.
      status_->setText(QString::fromStdString(message.text));
      break;
    case kWmDeviceFound: {
      if (message.bytes.size() != 8) break;
      platform::BtDeviceInfo device;
      device.address = {platform::GetU32(message.bytes, 0), platform::GetU32(message.bytes, 4)};
      device.name = message.text;
      for (const auto& f : found_) {
        if (f.address == device.address) return;  // reported twice: listed once
      }
      const std::string text = device.name.empty() ? device.address.Bracketed()
                                                   : device.name + " " + device.address.Bracketed();
      found_.push_back(device);
      list_->addItem(QString::fromStdString(text));
      break;
    }
    default:
      break;
  }
}

void InquiryDialog::accept() {
  if (list_->selectedItems().isEmpty()) return;
  run_->cancel.Stop();
  QDialog::accept();
}

void InquiryDialog::reject() {
  status_->setText("Cancel in progress. Please wait!");
  QDialog::reject();
  StopInquiry(kCloseWaitMs);
}

}  // namespace remote::ui
