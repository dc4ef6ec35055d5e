#pragma once

#include <QDialog>
#include <memory>

#include "platform/Bluetooth.h"
#include "platform/qt/MessagePump.h"
#include "remote/link/ModuleConfigSequence.h"
#include "remote/link/UnitLink.h"

class QListWidget;
class QTimer;

namespace remote::ui {

// Configures the unit's Bluetooth module over a link of its own in raw mode:
// sends the text sequence, each text 500 ms after the module last answered,
// and shows every line it answers. The caller drops its own connection to the
// unit before opening it and connects again after it closes.
class ModuleConfigDialog final : public QDialog {
  Q_OBJECT

 public:
  ModuleConfigDialog(platform::Bluetooth& bluetooth, const platform::BtAddress& unit,
                     std::uint16_t serialNumber, QWidget* parent = nullptr);
  ~ModuleConfigDialog() override;

  QListWidget* Lines() const { return list_; }
  bool Finished() const { return sequence_.Finished(); }

 protected:
  void done(int result) override;

 private:
  void Handle(const platform::Message& message);
  void SendNext();

  platform::qt::MessagePump pump_;
  link::UnitLink link_;
  link::ModuleConfigSequence sequence_;
  QListWidget* list_;
  QTimer* next_;
};

}  // namespace remote::ui
