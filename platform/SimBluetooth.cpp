#include "platform/SimBluetooth.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/SimBluetoothWire.h"

namespace platform {

SimBluetooth::SimBluetooth(std::filesystem::path directory) : directory_(std::move(directory)) {}

std::filesystem::path SimBluetooth::Dir() const {
  return directory_.empty() ? simbt::Directory() : directory_;
}

int SimBluetooth::Open(const std::filesystem::path& socketPath, std::string& error) const {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string s = socketPath.string();
  if (s.size() >= sizeof addr.sun_path) {
    error = s + ": path too long for a socket";
    return -1;
  }
  std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::strerror(errno);
    return -1;
  }
  if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    error = "device does not answer";
    close(fd);
    return -1;
  }
  return fd;
}

bool SimBluetooth::Inquiry(const std::function<bool(const BtDeviceInfo&)>& found,
                           std::string& error) {
  RadioMode mode;
  if (GetRadioMode(mode) && mode == RadioMode::kOff) {
    error = "the Bluetooth radio is off";
    return false;
  }
  std::error_code ec;
  std::vector<std::filesystem::path> sockets;
  for (const auto& item : std::filesystem::directory_iterator(Dir(), ec)) {
    if (simbt::AddressOfSocket(item.path())) sockets.push_back(item.path());
  }
  std::sort(sockets.begin(), sockets.end());
  for (const auto& path : sockets) {
    std::string why;
    const int fd = Open(path, why);
    if (fd < 0) continue;  // a device that went away
    std::string line;
    const bool answered = simbt::WriteAll(fd, std::string(simbt::kName) + "\n") &&
                          simbt::ReadLine(fd, line, simbt::kAnswerTimeoutMs);
    close(fd);
    if (!answered || !line.starts_with(simbt::kName)) continue;
    BtDeviceInfo info;
    info.address = *simbt::AddressOfSocket(path);
    info.name = line.size() > simbt::kName.size() ? line.substr(simbt::kName.size() + 1) : "";
    if (!found(info)) break;
  }
  return true;
}

int SimBluetooth::Connect(const BtAddress& address, std::string_view service, int cancelFd,
                          std::string& error) {
  RadioMode mode;
  if (GetRadioMode(mode) && mode == RadioMode::kOff) {
    error = "the Bluetooth radio is off";
    return -1;
  }
  const int fd = Open(simbt::SocketPath(Dir(), address), error);
  if (fd < 0) return -1;
  std::string line;
  if (!simbt::WriteAll(fd, std::string(simbt::kConnect) + " " + std::string(service) + "\n") ||
      !simbt::ReadLine(fd, line, simbt::kAnswerTimeoutMs, cancelFd) || line != simbt::kOk) {
    error = line.empty() ? "no answer from the device" : line;
    close(fd);
    return -1;
  }
  return fd;
}

bool SimBluetooth::GetRadioMode(RadioMode& mode) {
  std::string text;
  mode = RadioMode::kDiscoverable;
  if (!ReadWholeFile(Dir() / simbt::kRadioFile, text)) return true;
  if (text.starts_with("0")) mode = RadioMode::kOff;
  if (text.starts_with("1")) mode = RadioMode::kConnectable;
  return true;
}

bool SimBluetooth::SetRadioMode(RadioMode mode) {
  std::error_code ec;
  std::filesystem::create_directories(Dir(), ec);
  std::string error;
  return WriteFileAtomically(Dir() / simbt::kRadioFile,
                             std::to_string(static_cast<int>(mode)) + "\n", error);
}

}  // namespace platform
