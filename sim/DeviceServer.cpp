#include "sim/DeviceServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#include "platform/DeviceWire.h"
#include "platform/SocketIo.h"

namespace sim {

namespace {

constexpr std::size_t kMaxClients = 64;
constexpr int kPresencePollMs = 20;

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

DeviceServer::DeviceServer(SimUnit& unit, std::filesystem::path directory)
    : unit_(unit), directory_(std::move(directory)) {}

DeviceServer::~DeviceServer() {
  Stop();
}

bool DeviceServer::Start(std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(directory_, ec);
  if (ec) {
    error = directory_.string() + ": " + ec.message();
    return false;
  }
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
    loop_.Run(kPresencePollMs, [this] { FollowPresence(); });
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
  for (;;) {
    platform::UniqueFd client(
        accept4(listen_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!client) return;
    if (clients_.size() >= kMaxClients) continue;  // closed at once
    const int fd = client.Get();
    clients_[fd].fd = std::move(client);
    loop_.Watch(fd, POLLIN, [this, fd](short) {
      if (!Serve(fd)) Drop(fd);
    });
    // The request usually follows the connect at once: answer it now.
    if (!Serve(fd)) Drop(fd);
  }
}

void DeviceServer::Drop(int fd) {
  loop_.Unwatch(fd);
  clients_.erase(fd);
}

bool DeviceServer::Serve(int fd) {
  std::uint8_t chunk[4096];
  for (;;) {
    const ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n == 0) return false;
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) break;
      return false;
    }
    auto& buffer = clients_[fd].buffer;
    buffer.insert(buffer.end(), chunk, chunk + n);
    for (;;) {
      platform::wire::Request request;
      std::size_t consumed = 0;
      const auto result = platform::wire::DecodeRequest(buffer, request, consumed);
      if (result == platform::wire::ParseResult::kIncomplete) break;
      if (result == platform::wire::ParseResult::kInvalid) {
        // Framing is lost: fail this call and end the connection.
        platform::WriteAll(fd, platform::wire::EncodeReply(false, {}));
        return false;
      }
      buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(consumed));
      std::vector<std::uint8_t> out(request.outCapacity);
      const bool ok = unit_.HandleControl(request.code, request.input, out);
      platform::WriteAll(
          fd, platform::wire::EncodeReply(ok, ok ? std::span(out) : std::span<std::uint8_t>()));
    }
  }
  return true;
}

}  // namespace sim
