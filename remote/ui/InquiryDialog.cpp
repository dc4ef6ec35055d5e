#include "remote/ui/InquiryDialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/Bytes.h"
#include "protocol/remote/RemoteProtocol.h"

namespace remote::ui {

namespace {
constexpr int kTickMs = 500;
constexpr int kStatusClearMs = 60000;
}  // namespace

InquiryDialog::InquiryDialog(platform::Bluetooth& bluetooth, QWidget* parent)
    : QDialog(parent), bluetooth_(bluetooth),
      pump_([this](const platform::Message& m) { Handle(m); }, this),
      list_(new QListWidget(this)), status_(new QLabel(this)), ok_(new QPushButton("OK", this)),
      cancel_(new QPushButton("Cancel", this)), tick_(new QTimer(this)), clearStatus_(new QTimer(this)) {
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
  thread_ = std::thread([this] { RunInquiry(); });
}

InquiryDialog::~InquiryDialog() {
  cancel_flag_ = true;
  WaitForInquiry();
}

void InquiryDialog::WaitForInquiry() {
  if (thread_.joinable()) thread_.join();
}

std::string InquiryDialog::SelectedService() const { return std::string(protocol::remote::kServiceHardware); }

QString InquiryDialog::StatusText() const { return status_->text(); }

void InquiryDialog::RunInquiry() {
  auto post = [this](std::uint32_t id, std::string text = {}, std::vector<std::uint8_t> bytes = {}) {
    pump_.Target().Post({id, 0, std::move(text), std::move(bytes)});
  };
  post(kWmDiscoveryStatus, "Looking for devices ...");
  post(kWmCancelEnabled);
  std::string error;
  const bool ok = bluetooth_.Inquiry([&](const platform::BtDeviceInfo& device) {
    // Units without a name are listed too, by their address.
    std::vector<std::uint8_t> address(8);
    platform::PutU32(address, 0, device.address.low);
    platform::PutU32(address, 4, device.address.high);
    post(kWmDeviceFound, device.name, std::move(address));
    return !cancel_flag_;
  }, error);
  post(kWmDiscoveryStatus, ok ? "" : "Socket Error: " + error);
  ended_ = true;
}

void InquiryDialog::Handle(const platform::Message& message) {
  switch (message.id) {
    case kWmDiscoveryStatus:
      status_->setText(QString::fromStdString(message.text));
      break;
    case kWmCancelEnabled:
      cancel_->setEnabled(true);
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
  cancel_flag_ = true;
  QDialog::accept();
}

void InquiryDialog::reject() {
  cancel_flag_ = true;
  status_->setText("Cancel in progress. Please wait!");
  QDialog::reject();
  WaitForInquiry();  // returns only once the inquiry thread has ended
}

}  // namespace remote::ui
