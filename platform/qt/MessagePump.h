#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/MessageTarget.h"

namespace platform::qt {

// The programs' one message pump: what worker and reader threads post or send
// is handled on the thread of a Qt object (its window). Post queues and
// returns, Send waits until the handler has run. After Close (or once the
// object is gone) messages are dropped and a waiting sender is released, so an
// owner can join its worker without a deadlock.
class MessagePump final : public MessageTarget {
 public:
  using Handler = std::function<void(const Message&)>;
  MessagePump(QObject* receiver, Handler handler);
  ~MessagePump() override { Close(); }
  MessagePump(const MessagePump&) = delete;
  MessagePump& operator=(const MessagePump&) = delete;

  using MessageTarget::Post;
  using MessageTarget::Send;
  void Post(Message message) override;
  void Send(Message message) override;
  void Close();

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool closed = false;
  };
  QPointer<QObject> receiver_;
  Handler handler_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace platform::qt
