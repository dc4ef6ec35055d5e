#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The first private window message number (WM_USER).
inline constexpr std::uint32_t kUserMessage = 0x400;

// One window message from a worker or reader thread. Everything it carries is
// a copy the message owns, so it lives exactly as long as the message does and
// the sender keeps nothing shared.
struct Message {
  std::uint32_t id = 0;
  std::intptr_t wParam = 0;
  std::string text;
  std::vector<std::uint8_t> bytes;
  bool sent = false;  // delivered with Send (the sender waited)
  // The second parameter (LPARAM): what a message's id says it carries, such
  // as an update worker's reason code.
  std::intptr_t lParam = 0;
};

// Where workers report: PostMessage and SendMessage to their owner's window.
class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  // Queues the message and returns at once.
  virtual void Post(Message message) = 0;
  // Returns once the owner has taken the message.
  virtual void Send(Message message) = 0;

  void Post(std::uint32_t id, std::intptr_t wParam, std::string text = {},
            std::intptr_t lParam = 0) {
    Post(Message{id, wParam, std::move(text), {}, false, lParam});
  }
  void Send(std::uint32_t id, std::intptr_t wParam, std::string text = {},
            std::intptr_t lParam = 0) {
    Send(Message{id, wParam, std::move(text), {}, true, lParam});
  }
};

// A target whose messages wait in a queue until the owning thread drains or
// takes them: the test backend, and the core of the Qt one.
class QueueTarget final : public MessageTarget {
 public:
  using MessageTarget::Post;
  using MessageTarget::Send;

  // Called on the sending thread after each message is queued, so an event
  // loop can schedule a Drain on its own thread. Set before any thread posts.
  void SetWakeUp(std::function<void()> wakeUp) { wakeUp_ = std::move(wakeUp); }

  void Post(Message message) override {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back({std::move(message), nullptr});
    }
    changed_.notify_all();
    if (wakeUp_) wakeUp_();
  }

  void Send(Message message) override {
    bool done = false;
    message.sent = true;
    std::unique_lock lock(mutex_);
    queue_.push_back({std::move(message), &done});
    changed_.notify_all();
    if (wakeUp_) {
      lock.unlock();
      wakeUp_();
      lock.lock();
    }
    changed_.wait(lock, [&] { return done; });
  }

  // Handles every queued message on the calling thread; returns how many. A
  // sender waits until its message has been handled.
  std::size_t Drain(const std::function<void(const Message&)>& handle) {
    std::size_t count = 0;
    for (;;) {
      Entry entry;
      {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return count;
        entry = std::move(queue_.front());
        queue_.pop_front();
      }
      handle(entry.message);
      ++count;
      Release(entry);
    }
  }

  // The next message, waiting up to `limit`; none when nothing came. A sender
  // waits until its message has been taken.
  std::optional<Message> Take(std::chrono::milliseconds limit) {
    Entry entry;
    {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, limit, [&] { return !queue_.empty(); })) return std::nullopt;
      entry = std::move(queue_.front());
      queue_.pop_front();
    }
    Release(entry);
    return std::move(entry.message);
  }

  // Waits until a message is queued or `ms` pass; true when one is there.
  bool WaitForMessage(int ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !queue_.empty(); });
  }

 private:
  struct Entry {
    Message message;
    bool* done = nullptr;
  };
  void Release(Entry& entry) {
    if (entry.done == nullptr) return;
    std::lock_guard lock(mutex_);
    *entry.done = true;
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Entry> queue_;
  std::function<void()> wakeUp_;
};

}  // namespace platform
