#include "remote/ui/MessagePump.h"

#include <QMetaObject>

namespace remote::ui {

MessagePump::MessagePump(std::function<void(const platform::Message&)> handle, QObject* parent)
    : QObject(parent), handle_(std::move(handle)) {
  queue_.SetWakeUp([this] { QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection); });
}

void MessagePump::Drain() { queue_.Drain(handle_); }

}  // namespace remote::ui
