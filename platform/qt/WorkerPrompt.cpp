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
  auto state = state_;
  auto done = std::make_shared<bool>(false);
  // Copies: the worker's texts may live on its stack.
  QMetaObject::invokeMethod(
      context,
      [this, state, done, t = std::string(title), m = std::string(text)] {
        {
          std::lock_guard lock(state->mutex);
          if (state->closed) return;
        }
        shown_.Error(t, m);
        std::lock_guard lock(state->mutex);
        *done = true;
        state->changed.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(state->mutex);
  state->changed.wait(lock, [&] { return *done || state->closed; });
}

void WorkerPrompt::Close() {
  std::lock_guard lock(state_->mutex);
  state_->closed = true;
  state_->changed.notify_all();
}

}  // namespace platform::qt
