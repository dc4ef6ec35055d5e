#include "platform/SocketIo.h"

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kConnectRetryMs = 10;

int MillisecondsLeft(SteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on `fd` until the deadline; false on time-out or error.
bool WaitFor(int fd, short events, SteadyClock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, MillisecondsLeft(deadline));
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ETIMEDOUT;
    return n > 0;
  }
}

}  // namespace

bool WriteAll(int fd, std::span<const std::uint8_t> bytes, int timeoutMs) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n =
        send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, deadline)) return false;
      continue;
    }
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, std::string_view bytes, int timeoutMs) {
  return WriteAll(fd, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                  timeoutMs);
}

ssize_t ReceiveWithin(int fd, void* buffer, std::size_t size, int timeoutMs) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (!WaitFor(fd, POLLIN, deadline)) return -1;
    const ssize_t n = recv(fd, buffer, size, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    return n;
  }
}

bool ConnectWithin(int fd, const sockaddr* address, socklen_t length, int timeoutMs) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  bool connected = false;
  for (;;) {
    if (connect(fd, address, length) == 0) {
      connected = true;
      break;
    }
    if (errno == EINTR) continue;
    if (errno == EINPROGRESS) {
      int error = 0;
      socklen_t size = sizeof error;
      connected = WaitFor(fd, POLLOUT, deadline) &&
                  getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
      break;
    }
    // A local listener with a full backlog refuses at once instead of
    // queueing: try again shortly while time is left.
    if (errno != EAGAIN || MillisecondsLeft(deadline) == 0) break;
    poll(nullptr, 0, std::min(kConnectRetryMs, MillisecondsLeft(deadline)));
  }
  const int saved = errno;
  fcntl(fd, F_SETFL, flags);
  errno = saved;
  return connected;
}

}  // namespace platform
