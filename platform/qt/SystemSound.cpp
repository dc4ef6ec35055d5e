#include "platform/qt/SystemSound.h"

#include <QApplication>

namespace platform::qt {

void PlaySystemSound(std::string_view) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) QApplication::beep();
}

}  // namespace platform::qt
