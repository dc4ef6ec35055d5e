#include "sim/DeviceServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#include "platform/DeviceWire.h"
#include "platform/RuntimeDir.h"
#include "platform/SocketIo.h"

namespace sim {

namespace {

constexpr std::size_t kMaxClients = 64;
constexpr int kPresencePollMs = 20;
constexpr int kAcceptsPerRound = 8;

bool MakeAddress(const std::filesystem::path& path, sockaddr_un& addr) {
  addr = {};
  addr.sun_family = AF_UNIX;
  const std::string s = path.string();
  if (s.size() >= sizeof(addr.sun_path)) return false;
  std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
  return true;
}

// True when something already answers on the socket path.
bool SomeoneServes(const std::filesystem::path& path) {
  sockaddr_un addr;
  if (!MakeAddress(path, addr)) return false;
  const platform::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return fd && connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

}  // namespace

DeviceServer::DeviceServer(SimUnit& unit, std::filesystem::path directory, int clientTimeoutMs)
    : unit_(unit), directory_(std::move(directory)), clientTimeoutMs_(clientTimeoutMs) {}

DeviceServer::~DeviceServer() {
  Stop();
}

bool DeviceServer::Start(std::string& error) {
  // Whoever could write the folder could stand in for the unit.
  if (!platform::CheckPrivateDir(directory_, true, error)) return false;
  sockaddr_un addr;
  if (!MakeAddress(SocketPath(), addr)) {
    error = SocketPath().string() + ": path too long for a socket";
    return false;
  }
  if (SomeoneServes(SocketPath())) {
    error = "another unit is already served at " + SocketPath().string();
    return false;
  }
  unlink(SocketPath().c_str());  // a stale socket of a simulator that died
  if (!loop_.Valid()) {
    error = std::strerror(errno);
    return false;
  }
  if (unit_.IsPresent() && !Listen()) {
    error = SocketPath().string() + ": " + std::strerror(errno);
    return false;
  }
  loop_.Rearm();
  thread_ = std::thread([this] {
    loop_.Run(kPresencePollMs, [this] {
      FollowPresence();
      DropLateClients();
    });
    clients_.clear();
  });
  return true;
}

void DeviceServer::Stop() {
  if (thread_.joinable()) {
    loop_.Stop();
    thread_.join();
  }
  Unlisten();
}

bool DeviceServer::Listen() {
  // Bound and listening under a temporary name first, then renamed into place:
  // the device appears only once it can be opened, as a driver's would.
  const std::filesystem::path temp =
      directory_ / ("." + std::string(kUnitDeviceName) + "." + std::to_string(getpid()));
  sockaddr_un addr;
  if (!MakeAddress(temp, addr)) return false;
  platform::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return false;
  unlink(temp.c_str());
  if (bind(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(fd.Get(), 64) != 0 || chmod(temp.c_str(), 0600) != 0 ||
      rename(temp.c_str(), SocketPath().c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  listen_ = std::move(fd);
  loop_.Watch(listen_.Get(), POLLIN, [this](short) { Accept(); });
  return true;
}

void DeviceServer::Unlisten() {
  if (!listen_) return;
  loop_.Unwatch(listen_.Get());
  listen_.Reset();
  unlink(SocketPath().c_str());
}

void DeviceServer::FollowPresence() {
  const bool present = unit_.IsPresent();
  if (present && !listen_) Listen();
  if (!present && listen_) Unlisten();
}

void DeviceServer::Accept() {
  // A few per round: clients that were answered and left are reaped by the
  // next poll, before they can crowd out those still waiting.
  for (int round = 0; round < kAcceptsPerRound; ++round) {
    platform::UniqueFd client(
        accept4(listen_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!client) return;
    if (clients_.size() >= kMaxClients) {
      // Full: the client that has gone longest without getting anywhere makes room.
      const auto oldest =
          std::min_element(clients_.begin(), clients_.end(), [](const auto& a, const auto& b) {
            return a.second.lastProgress < b.second.lastProgress;
          });
      Drop(oldest->first);
    }
    const int fd = client.Get();
    Client& c = clients_[fd];
    c.fd = std::move(client);
    c.lastProgress = std::chrono::steady_clock::now();
    loop_.Watch(fd, POLLIN, [this, fd](short revents) { OnEvents(fd, revents); });
    // The request usually follows the connect at once: answer it now.
    if (!Serve(fd)) Drop(fd);
  }
}

void DeviceServer::OnEvents(int fd, short revents) {
  if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && !clients_.at(fd).outbox.empty()) {
    Drop(fd);  // gone before taking its answer
    return;
  }
  if ((revents & POLLOUT) != 0 && !Flush(fd)) {
    Drop(fd);
    return;
  }
  if (!Serve(fd)) Drop(fd);
}

void DeviceServer::Drop(int fd) {
  loop_.Unwatch(fd);
  clients_.erase(fd);
}

void DeviceServer::DropLateClients() {
  const auto limit = std::chrono::steady_clock::now() - std::chrono::milliseconds(clientTimeoutMs_);
  std::vector<int> late;
  for (const auto& [fd, client] : clients_) {
    if (client.lastProgress < limit) late.push_back(fd);
  }
  for (const int fd : late) Drop(fd);
}

bool DeviceServer::Flush(int fd) {
  Client& client = clients_.at(fd);
  std::size_t sent = 0;
  while (sent < client.outbox.size()) {
    const ssize_t n = send(fd, client.outbox.data() + sent, client.outbox.size() - sent,
                           MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  if (sent != 0) client.lastProgress = std::chrono::steady_clock::now();
  client.outbox.erase(client.outbox.begin(),
                      client.outbox.begin() + static_cast<std::ptrdiff_t>(sent));
  // Nothing more is read from a client that is not taking its answers: it
  // waits for room, and is dropped if none comes in time.
  loop_.Watch(fd, client.outbox.empty() ? POLLIN : POLLOUT,
              [this, fd](short revents) { OnEvents(fd, revents); });
  return true;
}

bool DeviceServer::Serve(int fd) {
  std::uint8_t chunk[4096];
  bool answered = false;
  for (;;) {
    Client& client = clients_.at(fd);
    if (!client.outbox.empty()) return true;
    // No more than one request's worth is read ahead of the answers.
    const std::size_t room =
        std::min(sizeof chunk, platform::wire::kRequestHeaderSize + platform::wire::kMaxPayload);
    const ssize_t n = recv(fd, chunk, room, MSG_DONTWAIT);
    if (n == 0) return false;
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      return false;
    }
    auto& buffer = client.buffer;
    buffer.insert(buffer.end(), chunk, chunk + n);
    for (;;) {
      platform::wire::Request request;
      std::size_t consumed = 0;
      const auto result = platform::wire::DecodeRequest(buffer, request, consumed);
      if (result == platform::wire::ParseResult::kIncomplete) break;
      if (result == platform::wire::ParseResult::kInvalid) {
        // Framing is lost: fail this call and end the connection.
        const auto reply = platform::wire::EncodeReply(false, {});
        send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        return false;
      }
      buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(consumed));
      std::vector<std::uint8_t> out(request.outCapacity);
      const bool ok = unit_.HandleControl(request.code, request.input, out);
      // The driver waits out its reply limit and gives up on this connection.
      if (unit_.AnswerLost()) continue;
      const auto reply =
          platform::wire::EncodeReply(ok, ok ? std::span(out) : std::span<std::uint8_t>());
      client.outbox.insert(client.outbox.end(), reply.begin(), reply.end());
      client.lastProgress = std::chrono::steady_clock::now();
      if (!Flush(fd)) return false;
      if (!client.outbox.empty()) return true;
      answered = true;
    }
    // A client waits for its answer before it asks again: whatever it sends
    // next wakes the poll loop, with no read in vain here.
    if (answered && client.buffer.empty()) return true;
  }
  return true;
}

}  // namespace sim
