#include "platform/qt/FirstPaintProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace platform::qt {

void FirstPaintProbe::Watch(QWidget* window) {
  const char* on = std::getenv("MRX_FIRST_PAINT");
  if (on == nullptr || std::strcmp(on, "1") != 0) return;
  window->installEventFilter(new FirstPaintProbe(window));
}

bool FirstPaintProbe::eventFilter(QObject* watched, QEvent* event) {
  if (!done_ && event->type() == QEvent::Paint) {
    done_ = true;
    // Report once the paint has been delivered, then leave.
    QTimer::singleShot(0, [] {
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      std::printf("first-paint %lld\n",
                  static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
      std::fflush(stdout);
      QCoreApplication::exit(0);
    });
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace platform::qt
