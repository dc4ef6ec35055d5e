#include "platform/qt/WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace platform::qt {

WaitCursor::WaitCursor() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return;
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  shown_ = true;
}

WaitCursor::~WaitCursor() {
  if (shown_) QApplication::restoreOverrideCursor();
}

}  // namespace platform::qt
