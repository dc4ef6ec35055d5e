#include "platform/qt/WorkerPrompt.h"

#include <QMetaObject>
#include <QThread>
#include <string>

namespace platform::qt {

void WorkerPrompt::Error(std::string_view title, std::string_view text) {
  QObject* context = context_.data();
  if (context == nullptr) return;  // the window is gone: nobody to tell
  if (QThread::currentThread() == context->thread()) {
    shown_.Error(title, text);
    return;
  }
  // Copies: the worker's texts may live on its stack.
  QMetaObject::invokeMethod(
      context, [this, t = std::string(title), m = std::string(text)] { shown_.Error(t, m); },
      Qt::BlockingQueuedConnection);
}

}  // namespace platform::qt
