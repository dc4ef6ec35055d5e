#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "platform/MessageTarget.h"

namespace platform {

// A message queue read by one receiving thread, as a window's queue is: Post
// adds, Send adds and waits until Take has handed the message out.
class MessageQueue final : public MessageTarget {
 public:
  void Post(std::uint32_t id, std::uintptr_t wParam, std::string text = {}) override {
    std::lock_guard lock(mutex_);
    queue_.push_back({id, wParam, std::move(text), false});
    changed_.notify_all();
  }
  void Send(std::uint32_t id, std::uintptr_t wParam, std::string text = {}) override {
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = ++sentCount_;
    queue_.push_back({id, wParam, std::move(text), true});
    changed_.notify_all();
    changed_.wait(lock, [&] { return takenSent_ >= ticket; });
  }
  // The next message, waiting up to `limit`; none when nothing came.
  std::optional<Message> Take(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, limit, [&] { return !queue_.empty(); })) return std::nullopt;
    Message m = std::move(queue_.front());
    queue_.pop_front();
    if (m.sent) {
      ++takenSent_;
      changed_.notify_all();
    }
    return m;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Message> queue_;
  std::uint64_t sentCount_ = 0;
  std::uint64_t takenSent_ = 0;
};

}  // namespace platform
