#include "remote/ui/ModuleConfigDialog.h"

#include <QFont>
#include <QListWidget>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/Clock.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/RemoteMessages.h"

namespace remote::ui {

ModuleConfigDialog::ModuleConfigDialog(platform::Bluetooth& bluetooth,
                                       const platform::BtAddress& unit, std::uint16_t serialNumber,
                                       QWidget* parent)
    : QDialog(parent),
      pump_(this, [this](const platform::Message& m) { Handle(m); }),
      link_(bluetooth, platform::DefaultClock()),
      sequence_(serialNumber),
      list_(new QListWidget(this)),
      next_(new QTimer(this)) {
  setWindowTitle("Config MRX-Bluetooth");
  auto* menu = new QMenuBar(this);
  menu->addMenu("Configuration")->addAction("&Exit", this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menu);
  layout->addWidget(list_);
  QFont small = list_->font();
  small.setPixelSize(10);
  small.setWeight(QFont::Normal);
  list_->setFont(small);

  list_->addItem("*** Start of configuration ...");
  next_->setSingleShot(true);
  connect(next_, &QTimer::timeout, this, &ModuleConfigDialog::SendNext);
  link_.SetUnit(unit, "", std::string(protocol::remote::kServiceConfig));
  link_.SetEnabled(true);
  link_.Start(&pump_, true);
  next_->start(link::ModuleConfigSequence::kPauseMs);
}

ModuleConfigDialog::~ModuleConfigDialog() {
  link_.Close();
}

void ModuleConfigDialog::SendNext() {
  // A module that never answers stalls the sequence after its first text.
  if (const auto text = sequence_.Next()) link_.SendRaw(*text);
}

void ModuleConfigDialog::Handle(const platform::Message& message) {
  if (message.id != link::kWmLinkData) return;
  next_->stop();
  for (const auto& line : sequence_.Receive(message.bytes)) {
    list_->addItem(QString::fromLatin1(line.data(), static_cast<int>(line.size())));
  }
  next_->start(link::ModuleConfigSequence::kPauseMs);
}

void ModuleConfigDialog::done(int result) {
  link_.Close();
  next_->stop();
  QDialog::done(result);
}

}  // namespace remote::ui
