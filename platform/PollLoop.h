#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>

#include "platform/UniqueFd.h"

namespace platform {

// One thread's wait on a set of descriptors, with a wake-up other threads can
// send. Stop() sets the flag before it writes the wake byte, and the byte stays
// in the pipe until the loop drains it, so a stop can never be missed however
// the two threads interleave.
class PollLoop {
 public:
  // Called with the `revents` poll reported for the descriptor.
  using Handler = std::function<void(short revents)>;

  PollLoop();
  PollLoop(const PollLoop&) = delete;
  PollLoop& operator=(const PollLoop&) = delete;

  // False when the wake pipe could not be made; the loop is then unusable.
  bool Valid() const { return wakeRead_.Valid() && wakeWrite_.Valid(); }

  // Loop thread only (handlers included). A descriptor watched again replaces
  // its handler; Unwatch inside a handler is safe, also for its own descriptor.
  void Watch(int fd, short events, Handler handler);
  void Unwatch(int fd);
  bool Watching(int fd) const { return handlers_.count(fd) != 0; }
  std::size_t WatchCount() const { return handlers_.size(); }

  // Waits at most `timeoutMs` (-1: until something happens) and runs the
  // handlers of the ready descriptors. False when poll itself failed.
  bool RunOnce(int timeoutMs);
  // RunOnce until Stop(); `onTick` runs after every round, at least every `tickMs`.
  void Run(int tickMs, const std::function<void()>& onTick = {});

  // Readable while a wake-up is pending (until the next round drains it): a
  // blocking call of the loop's thread (a connect) can give up on it.
  int WakeFd() const { return wakeRead_.Get(); }

  // Any thread.
  void Wake();
  void Stop();
  bool Stopping() const { return stop_.load(); }
  // Clears a stop so the loop can be run again (loop thread, not running).
  void Rearm() { stop_ = false; }

 private:
  struct Entry {
    short events;
    Handler handler;
  };

  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
  std::atomic<bool> stop_{false};
  std::map<int, Entry> handlers_;
};

}  // namespace platform
