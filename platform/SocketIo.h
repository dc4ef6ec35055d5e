#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

// How long a send may wait for room before the peer counts as gone.
inline constexpr int kSendTimeoutMs = 1000;

// Writes every byte to a stream socket, riding out interruptions and a full
// buffer, but waiting at most `timeoutMs` in all; false when the peer is gone
// or does not take the bytes in time. Never blocks beyond the limit, whether
// the socket is blocking or not.
bool WriteAll(int fd, std::span<const std::uint8_t> bytes, int timeoutMs = kSendTimeoutMs);
bool WriteAll(int fd, std::string_view bytes, int timeoutMs = kSendTimeoutMs);

// Receives what has arrived, waiting at most `timeoutMs` for the first byte:
// the count read, 0 when the peer closed, -1 on an error or when nothing came
// in time (errno ETIMEDOUT).
ssize_t ReceiveWithin(int fd, void* buffer, std::size_t size, int timeoutMs);

// Connects a stream socket, giving up after `timeoutMs` (a listener that
// stopped accepting and has a full backlog would otherwise block for ever).
// The socket keeps its blocking mode.
bool ConnectWithin(int fd, const sockaddr* address, socklen_t length, int timeoutMs);

}  // namespace platform
