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

// Delivers worker messages on the thread of a Qt object: Post queues and
// returns, Send waits until the handler has run. After Close (or once the
// object is gone) messages are dropped and a waiting sender is released, so an
// owner can join its worker without a deadlock.
class QtMessageTarget final : public MessageTarget {
 public:
  using Handler = std::function<void(const Message&)>;
  QtMessageTarget(QObject* receiver, Handler handler);
  ~QtMessageTarget() override { Close(); }
  QtMessageTarget(const QtMessageTarget&) = delete;
  QtMessageTarget& operator=(const QtMessageTarget&) = delete;

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
