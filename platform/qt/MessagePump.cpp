#include "platform/qt/MessagePump.h"

#include <QMetaObject>
#include <QThread>

namespace platform::qt {

MessagePump::MessagePump(QObject* receiver, Handler handler)
    : receiver_(receiver), handler_(std::move(handler)) {}

void MessagePump::Post(Message message) {
  QObject* receiver = receiver_.data();
  if (receiver == nullptr) return;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->closed) return;
  }
  // The state travels with the call, so a message still queued after Close
  // sees the flag and is dropped.
  QMetaObject::invokeMethod(
      receiver,
      [state = state_, handler = handler_, m = std::move(message)] {
        {
          std::lock_guard lock(state->mutex);
          if (state->closed) return;
        }
        handler(m);
      },
      Qt::QueuedConnection);
}

void MessagePump::Send(Message message) {
  message.sent = true;
  QObject* receiver = receiver_.data();
  if (receiver == nullptr) return;
  if (receiver->thread() == QThread::currentThread()) {
    handler_(message);
    return;
  }
  auto done = std::make_shared<bool>(false);
  {
    std::lock_guard lock(state_->mutex);
    if (state_->closed) return;
  }
  QMetaObject::invokeMethod(
      receiver,
      [state = state_, handler = handler_, done, m = std::move(message)] {
        bool closed = false;
        {
          std::lock_guard lock(state->mutex);
          closed = state->closed;
        }
        if (!closed) handler(m);
        std::lock_guard lock(state->mutex);
        *done = true;
        state->changed.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(state_->mutex);
  state_->changed.wait(lock, [&] { return *done || state_->closed; });
}

void MessagePump::Close() {
  std::lock_guard lock(state_->mutex);
  state_->closed = true;
  state_->changed.notify_all();
}

}  // namespace platform::qt
