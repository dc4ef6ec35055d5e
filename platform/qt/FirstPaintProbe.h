#pragma once

#include <QObject>

class QWidget;

namespace platform::qt {

// For the start-up benchmark: with MRX_FIRST_PAINT=1 in the environment,
// prints "first-paint <monotonic ns>" once the watched window has painted and
// quits the application. Does nothing otherwise.
class FirstPaintProbe final : public QObject {
 public:
  static void Watch(QWidget* window);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using QObject::QObject;
  bool done_ = false;
};

}  // namespace platform::qt
