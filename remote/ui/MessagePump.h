#pragma once

#include <QObject>
#include <functional>

#include "platform/MessageTarget.h"

namespace remote::ui {

// The window side of the message target: what worker and reader threads post
// is handled on this object's (the user-interface) thread.
class MessagePump final : public QObject {
  Q_OBJECT

 public:
  explicit MessagePump(std::function<void(const platform::Message&)> handle, QObject* parent = nullptr);
  platform::MessageTarget& Target() { return queue_; }

 private slots:
  void Drain();

 private:
  platform::QueueTarget queue_;
  std::function<void(const platform::Message&)> handle_;
};

}  // namespace remote::ui
