#include "sim/BluetoothRegistration.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/SimBluetoothWire.h"

namespace sim {

namespace {
constexpr int kHelloTimeoutMs = 1000;
}

BluetoothRegistration::BluetoothRegistration(platform::BtAddress address, std::string name,
                                             std::filesystem::path directory, Serve serve)
    : address_(address), name_(std::move(name)), directory_(std::move(directory)),
      serve_(std::move(serve)) {}

BluetoothRegistration::~BluetoothRegistration() { Stop(); }

platform::BtAddress BluetoothRegistration::AddressForSerial(std::uint16_t serial) {
  return {0xC2000000u | serial, 0x0050};
}

std::string BluetoothRegistration::NameForSerial(std::uint16_t serial) {
  char name[32];
  std::snprintf(name, sizeof name, "Valdur MRX520-%04d", serial);
  return name;
}

std::filesystem::path BluetoothRegistration::SocketPath() const {
  return platform::simbt::SocketPath(directory_, address_);
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
  std::error_code ec;
  std::filesystem::create_directories(directory_, ec);
  if (ec) {
    error = directory_.string() + ": " + ec.message();
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
  const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe >= 0) {
    const bool taken = connect(probe, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    close(probe);
    if (taken) {
      error = "another unit with this Bluetooth address is registered at " + path;
      return false;
    }
  }
  unlink(path.c_str());  // left by a simulator that died
  listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listenFd_, 16) != 0 || pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = path + ": " + std::strerror(errno);
    Stop();
    return false;
  }
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void BluetoothRegistration::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    const char byte = 0;
    [[maybe_unused]] const auto n = write(wake_[1], &byte, 1);
    thread_.join();
  }
  if (listenFd_ >= 0) {
    close(listenFd_);
    listenFd_ = -1;
    unlink(SocketPath().c_str());
  }
  for (int& fd : wake_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void BluetoothRegistration::Run() {
  namespace bt = platform::simbt;
  while (!stop_) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) break;
    if (fds[0].revents == 0) continue;
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::string hello;
    if (!bt::ReadLine(fd, hello, kHelloTimeoutMs, wake_[0])) {
      close(fd);
      continue;
    }
    if (hello == bt::kName) {
      bt::WriteAll(fd, std::string(bt::kName) + " " + Name() + "\n");
      close(fd);
    } else if (hello.starts_with(std::string(bt::kConnect) + " ") || hello == bt::kConnect) {
      const std::string service =
          hello.size() > bt::kConnect.size() ? hello.substr(bt::kConnect.size() + 1) : "";
      if (!bt::WriteAll(fd, std::string(bt::kOk) + "\n")) {
        close(fd);
        continue;
      }
      serve_(fd, service);
    } else {
      bt::WriteAll(fd, std::string(bt::kRefused) + " unknown request\n");
      close(fd);
    }
  }
}

}  // namespace sim
