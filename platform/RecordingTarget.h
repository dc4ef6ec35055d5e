#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageTarget.h"

namespace platform {

// The test backend: keeps every message in arrival order; Send returns at once.
class RecordingTarget final : public MessageTarget {
 public:
  using MessageTarget::Post;
  using MessageTarget::Send;

  void Post(Message message) override { Add(std::move(message)); }
  void Send(Message message) override {
    message.sent = true;
    Add(std::move(message));
  }
  std::vector<Message> Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  // Waits (in real time, bounded) until a message with this id has arrived.
  bool WaitFor(std::uint32_t id, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
      for (const Message& m : messages_) {
        if (m.id == id) return true;
      }
      return false;
    });
  }

 private:
  void Add(Message m) {
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(m));
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Message> messages_;
};

}  // namespace platform
