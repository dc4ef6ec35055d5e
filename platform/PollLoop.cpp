#include "platform/PollLoop.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {

PollLoop::PollLoop() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    wakeRead_.Reset(fds[0]);
    wakeWrite_.Reset(fds[1]);
  }
}

void PollLoop::Watch(int fd, short events, Handler handler) {
  handlers_[fd] = Entry{events, std::move(handler)};
}

void PollLoop::Unwatch(int fd) {
  handlers_.erase(fd);
}

bool PollLoop::RunOnce(int timeoutMs) {
  std::vector<pollfd> fds;
  fds.reserve(handlers_.size() + 1);
  fds.push_back({wakeRead_.Get(), POLLIN, 0});
  for (const auto& [fd, entry] : handlers_) fds.push_back({fd, entry.events, 0});
  const int n = poll(fds.data(), fds.size(), timeoutMs);
  if (n < 0) return errno == EINTR;
  if (n == 0) return true;
  if (fds[0].revents != 0) {
    char drain[64];
    while (read(wakeRead_.Get(), drain, sizeof drain) > 0) {
    }
  }
  for (std::size_t i = 1; i < fds.size() && !Stopping(); ++i) {
    if (fds[i].revents == 0) continue;
    // A handler may have unwatched this descriptor (or closed and reused it)
    // earlier in this round: look it up again and copy the handler first.
    const auto it = handlers_.find(fds[i].fd);
    if (it == handlers_.end()) continue;
    Handler handler = it->second.handler;
    handler(fds[i].revents);
  }
  return true;
}

void PollLoop::Run(int tickMs, const std::function<void()>& onTick) {
  while (!Stopping()) {
    if (!RunOnce(tickMs)) break;
    if (onTick && !Stopping()) onTick();
  }
}

void PollLoop::Wake() {
  const char byte = 0;
  // A full pipe already holds a wake-up: nothing is lost when this write fails.
  [[maybe_unused]] const ssize_t n = write(wakeWrite_.Get(), &byte, 1);
}

void PollLoop::Stop() {
  stop_ = true;
  Wake();
}

}  // namespace platform
