#include "platform/UnixDeviceIo.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/DeviceWire.h"
#include "platform/RuntimeDir.h"
#include "platform/SocketIo.h"

namespace platform {

std::string DeviceNameFromPath(std::string_view path) {
  static constexpr std::string_view kPrefix = "\\\\.\\";
  if (!path.starts_with(kPrefix)) return {};
  std::string_view name = path.substr(kPrefix.size());
  if (name.empty() || name == "." || name == "..") return {};
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == '/' || c == '\\' || u == 0x7F) return {};
  }
  return std::string(name);
}

UnixDeviceIo::UnixDeviceIo(std::filesystem::path directory, int replyTimeoutMs)
    : directory_(std::move(directory)), replyTimeoutMs_(replyTimeoutMs) {}

int UnixDeviceIo::Limit() const {
  return silent_ ? std::min(replyTimeoutMs_, kSilentUnitTimeoutMs) : replyTimeoutMs_;
}

DeviceIo::Handle UnixDeviceIo::Open(std::string_view path) {
  const std::string name = DeviceNameFromPath(path);
  if (name.empty()) return kInvalidHandle;
  const std::filesystem::path folder = directory_.empty() ? RuntimeDir() : directory_;
  const std::string socketPath = (folder / name).string();
  // A device in a folder others can write may be anyone's: never open it.
  if (std::string why; !CheckPrivateDir(folder, false, why)) return kInvalidHandle;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof(addr.sun_path)) return kInvalidHandle;
  std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);

  // Non-blocking for its whole life: every wait below is a poll with the
  // exchange's deadline, so no call needs the mode switched back and forth.
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return kInvalidHandle;
  const auto* address = reinterpret_cast<const sockaddr*>(&addr);
  // A listening unit takes the connection at once; only a full backlog needs
  // the waiting connect.
  if (connect(fd, address, sizeof(addr)) != 0 &&
      ((errno != EAGAIN && errno != EINTR) || !ConnectWithin(fd, address, sizeof(addr), Limit()))) {
    close(fd);
    return kInvalidHandle;
  }
  return fd;
}

bool UnixDeviceIo::Control(Handle handle, std::uint32_t code, std::span<const std::uint8_t> in,
                           std::span<std::uint8_t> out, std::uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  if (handle < 0 || in.size() > wire::kMaxPayload || out.size() > wire::kMaxPayload) return false;
  // One deadline for the whole exchange, so a unit that trickles bytes cannot
  // stretch it either.
  const int limit = Limit();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);
  const auto left = [&] {
    return static_cast<int>(std::max<std::int64_t>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now())
               .count()));
  };
  if (!WriteAll(handle, wire::EncodeRequest(code, in, out.size()), limit)) return false;

  std::array<std::uint8_t, wire::kReplyHeaderSize + wire::kMaxPayload> buffer{};
  std::size_t have = 0;
  for (;;) {
    wire::Reply reply;
    std::size_t consumed = 0;
    switch (wire::DecodeReply(std::span(buffer.data(), have), out.size(), reply, consumed)) {
      case wire::ParseResult::kInvalid:
        return false;
      case wire::ParseResult::kComplete:
        silent_ = false;
        std::copy(reply.output.begin(), reply.output.end(), out.begin());
        if (returned != nullptr) *returned = static_cast<std::uint32_t>(reply.output.size());
        return reply.success;
      case wire::ParseResult::kIncomplete:
        break;
    }
    if (have == buffer.size()) return false;
    const ssize_t n = ReceiveWithin(handle, buffer.data() + have, buffer.size() - have, left());
    if (n <= 0) {
      if (n < 0 && errno == ETIMEDOUT) silent_ = true;
      return false;
    }
    have += static_cast<std::size_t>(n);
  }
}

void UnixDeviceIo::Close(Handle handle) {
  if (handle >= 0) close(handle);
}

}  // namespace platform
