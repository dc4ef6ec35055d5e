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
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

}  // namespace

DeviceServer::DeviceServer(SimUnit& unit, std::filesystem::path directory)
    : unit_(unit), directory_(std::move(directory)) {}

DeviceServer::~DeviceServer() { Stop(); }

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
  if (pipe2(wakeFd_, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (unit_.IsPresent() && !Listen()) {
    error = SocketPath().string() + ": " + std::strerror(errno);
    return false;
  }
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void DeviceServer::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    const char byte = 0;
    [[maybe_unused]] auto n = write(wakeFd_[1], &byte, 1);
    thread_.join();
  }
  Unlisten();
  for (int& fd : wakeFd_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

bool DeviceServer::Listen() {
  // Bound and listening under a temporary name first, then renamed into place:
  // the device appears only once it can be opened, as a driver's would.
  const std::filesystem::path temp =
      directory_ / ("." + std::string(kUnitDeviceName) + "." + std::to_string(getpid()));
  sockaddr_un addr;
  if (!MakeAddress(temp, addr)) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  unlink(temp.c_str());
  if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(fd, 64) != 0 || chmod(temp.c_str(), 0600) != 0 ||
      rename(temp.c_str(), SocketPath().c_str()) != 0) {
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  listenFd_ = fd;
  return true;
}

void DeviceServer::Unlisten() {
  if (listenFd_ < 0) return;
  close(listenFd_);
  listenFd_ = -1;
  unlink(SocketPath().c_str());
}

void DeviceServer::Run() {
  std::map<int, std::vector<std::uint8_t>> clients;
  auto drop = [&](int fd) {
    close(fd);
    clients.erase(fd);
  };
  // Answers every complete request in the client's buffer; false when the
  // client is to be dropped.
  auto serve = [&](int fd) -> bool {
    std::uint8_t chunk[4096];
    for (;;) {
      const ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n == 0) return false;
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN) break;
        return false;
      }
      auto& buffer = clients[fd];
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
        platform::WriteAll(fd, platform::wire::EncodeReply(ok, ok ? std::span(out) : std::span<std::uint8_t>()));
      }
    }
    return true;
  };

  while (!stop_) {
    const bool present = unit_.IsPresent();
    if (present && listenFd_ < 0) Listen();
    if (!present && listenFd_ >= 0) Unlisten();

    std::vector<pollfd> fds;
    fds.push_back({wakeFd_[0], POLLIN, 0});
    if (listenFd_ >= 0) fds.push_back({listenFd_, POLLIN, 0});
    for (const auto& [fd, buffer] : clients) fds.push_back({fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), kPresencePollMs) < 0 && errno != EINTR) break;

    for (const pollfd& p : fds) {
      if (p.revents == 0) continue;
      if (p.fd == wakeFd_[0]) continue;
      if (p.fd == listenFd_) {
        for (;;) {
          const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
          if (client < 0) break;
          if (clients.size() >= kMaxClients) {
            close(client);
            continue;
          }
          clients[client];
          // The request usually follows the connect at once: answer it now.
          if (!serve(client)) drop(client);
        }
        continue;
      }
      if (clients.count(p.fd) != 0 && !serve(p.fd)) drop(p.fd);
    }
  }
  for (auto& [fd, buffer] : clients) close(fd);
}

}  // namespace sim
