#include "sim/BluetoothRegistration.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/RuntimeDir.h"
#include "platform/SocketIo.h"
#include "protocol/remote/RemoteProtocol.h"
#include "sim/RemoteStreamServer.h"

namespace sim {

namespace bt = platform::simbt;

namespace {
constexpr int kHelloTimeoutMs = 1000;
constexpr int kTickMs = 100;
constexpr std::size_t kMaxClients = 64;
constexpr int kAcceptsPerRound = 8;
}  // namespace

const std::vector<bt::ServiceRecord>& BluetoothRegistration::Services() {
  static const std::vector<bt::ServiceRecord> services = {
      {1, bt::kSerialPortClass, std::string(protocol::remote::kServiceHardware)},
      {2, bt::kSerialPortClass, std::string(protocol::remote::kServiceConfig)},
  };
  return services;
}

BluetoothRegistration::BluetoothRegistration(platform::BtAddress address, std::string name,
                                             std::filesystem::path directory,
                                             RemoteStreamServer& streams)
    : address_(address),
      name_(std::move(name)),
      directory_(std::move(directory)),
      streams_(streams) {}

BluetoothRegistration::~BluetoothRegistration() {
  Stop();
}

platform::BtAddress BluetoothRegistration::AddressForSerial(std::uint16_t serial) {
  return {0xC2000000u | serial, 0x0050};
}

std::string BluetoothRegistration::NameForSerial(std::uint16_t serial) {
  char name[32];
  std::snprintf(name, sizeof name, "Valdur MRX520-%04d", serial);
  return name;
}

std::filesystem::path BluetoothRegistration::SocketPath() const {
  return bt::SocketPath(directory_, address_);
}

std::string BluetoothRegistration::Name() {
  std::lock_guard lock(mutex_);
  return name_;
}

void BluetoothRegistration::SetName(std::string name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
}

bool BluetoothRegistration::Start(std::string& error) {
  // The stack's folder, and the runtime folder above it, must be this user's own.
  if (!platform::CheckPrivateDir(directory_.parent_path(), true, error) ||
      !platform::CheckPrivateDir(directory_, true, error)) {
    return false;
  }
  if (!loop_.Valid()) {
    error = std::string("cannot make a wake-up pipe: ") + std::strerror(errno);
    return false;
  }
  const std::string path = SocketPath().string();
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) {
    error = path + ": path too long for a socket";
    return false;
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  // Someone answering there is a unit with the same serial number.
  if (const platform::UniqueFd probe(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)); probe) {
    if (platform::ConnectWithin(probe.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr,
                                bt::kAnswerTimeoutMs)) {
      error = "another unit with this Bluetooth address is registered at " + path;
      return false;
    }
  }
  unlink(path.c_str());  // left by a simulator that died
  platform::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd || bind(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      chmod(path.c_str(), 0600) != 0 || listen(fd.Get(), 16) != 0) {
    error = path + ": " + std::strerror(errno);
    if (fd) unlink(path.c_str());
    return false;
  }
  listen_ = std::move(fd);
  loop_.Rearm();
  loop_.Watch(listen_.Get(), POLLIN, [this](short) { Accept(); });
  thread_ = std::thread([this] {
    loop_.Run(kTickMs, [this] { DropLateClients(); });
    clients_.clear();
  });
  return true;
}

void BluetoothRegistration::Stop() {
  if (thread_.joinable()) {
    loop_.Stop();
    thread_.join();
  }
  if (listen_) {
    loop_.Unwatch(listen_.Get());
    listen_.Reset();
    unlink(SocketPath().c_str());
  }
}

void BluetoothRegistration::Accept() {
  // A few per round, so that those waiting are read before more come in.
  for (int round = 0; round < kAcceptsPerRound; ++round) {
    platform::UniqueFd fd(accept4(listen_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd) return;
    if (clients_.size() >= kMaxClients) {
      // Full of clients that say nothing: the one closest to its deadline makes room.
      const auto oldest = std::min_element(
          clients_.begin(), clients_.end(),
          [](const auto& a, const auto& b) { return a.second.deadline < b.second.deadline; });
      loop_.Unwatch(oldest->first);
      clients_.erase(oldest);
    }
    const int key = fd.Get();
    clients_[key] =
        Client{std::move(fd),
               {},
               std::chrono::steady_clock::now() + std::chrono::milliseconds(kHelloTimeoutMs)};
    loop_.Watch(key, POLLIN, [this, key](short) { OnReadable(key); });
  }
}

void BluetoothRegistration::OnReadable(int fd) {
  const auto it = clients_.find(fd);
  if (it == clients_.end()) return;
  Client& client = it->second;
  // Byte by byte: after "CONNECT" the stream's own bytes follow the line.
  for (;;) {
    char c = 0;
    const ssize_t got = recv(fd, &c, 1, MSG_DONTWAIT);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got <= 0 || (c != '\n' && client.line.size() >= bt::kMaxLine)) break;
    if (c != '\n') {
      client.line += c;
      continue;
    }
    Answer(client);
    break;
  }
  loop_.Unwatch(fd);
  clients_.erase(fd);  // closes it, unless Answer handed it on
}

void BluetoothRegistration::Answer(Client& client) {
  const int fd = client.fd.Get();
  const std::string& hello = client.line;
  if (hello == bt::kName) {
    bt::WriteAll(fd, std::string(bt::kName) + " " + Name() + "\n");
    return;
  }
  if (hello == bt::kServices) {
    std::string answer;
    for (const auto& record : Services()) answer += bt::FormatService(record) + "\n";
    bt::WriteAll(fd, answer + std::string(bt::kEnd) + "\n");
    return;
  }
  const std::string connect = std::string(bt::kConnect) + " ";
  if (!hello.starts_with(connect)) {
    bt::WriteAll(fd, std::string(bt::kRefused) + " unknown request\n");
    return;
  }
  int channel = 0;
  const char* first = hello.data() + connect.size();
  const char* last = hello.data() + hello.size();
  const auto [end, ec] = std::from_chars(first, last, channel);
  const bt::ServiceRecord* record = nullptr;
  for (const auto& r : Services()) {
    if (ec == std::errc() && end == last && r.channel == channel) record = &r;
  }
  if (record == nullptr) {
    bt::WriteAll(fd, std::string(bt::kRefused) + " no service on that channel\n");
    return;
  }
  if (const std::string why = streams_.Refusal(record->name); !why.empty()) {
    bt::WriteAll(fd, std::string(bt::kRefused) + " " + why + "\n");
    return;
  }
  if (bt::WriteAll(fd, std::string(bt::kOk) + "\n")) {
    streams_.Serve(std::move(client.fd), record->name);
  }
}

void BluetoothRegistration::DropLateClients() {
  const auto now = std::chrono::steady_clock::now();
  for (auto it = clients_.begin(); it != clients_.end();) {
    if (it->second.deadline <= now) {
      loop_.Unwatch(it->first);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace sim
