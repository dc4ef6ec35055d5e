#include "platform/SimBluetooth.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/RuntimeDir.h"
#include "platform/SocketIo.h"

namespace platform {

SimBluetooth::SimBluetooth(std::filesystem::path directory) : directory_(std::move(directory)) {}

std::filesystem::path SimBluetooth::Dir() const {
  return directory_.empty() ? simbt::Directory() : directory_;
}

UniqueFd SimBluetooth::Open(const std::filesystem::path& socketPath, std::string& error) const {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string s = socketPath.string();
  if (s.size() >= sizeof addr.sun_path) {
    error = s + ": path too long for a socket";
    return {};
  }
  std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
  // A socket in a folder others can write may be anyone's: never talk to it.
  if (!CheckPrivateDir(socketPath.parent_path(), false, error)) return {};
  UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) {
    error = std::strerror(errno);
    return {};
  }
  if (!ConnectWithin(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr,
                     simbt::kAnswerTimeoutMs)) {
    error = "device does not answer";
    return {};
  }
  return fd;
}

bool SimBluetooth::LookUpServices(const BtAddress& address, int cancelFd,
                                  std::vector<simbt::ServiceRecord>& records,
                                  std::string& error) const {
  records.clear();
  const UniqueFd fd = Open(simbt::SocketPath(Dir(), address), error);
  if (!fd) return false;
  if (!simbt::WriteAll(fd.Get(), std::string(simbt::kServices) + "\n")) {
    error = "service look-up failed";
    return false;
  }
  std::string line;
  while (simbt::ReadLine(fd.Get(), line, simbt::kAnswerTimeoutMs, cancelFd)) {
    if (line == simbt::kEnd) return true;
    const auto record = simbt::ParseService(line);
    if (!record || records.size() >= simbt::kMaxServices) break;
    records.push_back(*record);
  }
  error = "service look-up failed";
  return false;
}

bool SimBluetooth::Inquiry(const std::function<bool(const BtDeviceInfo&)>& found,
                           std::string& error) {
  RadioMode mode;
  if (GetRadioMode(mode) && mode == RadioMode::kOff) {
    error = "the Bluetooth radio is off";
    return false;
  }
  if (!CheckPrivateDir(Dir(), false, error)) return false;
  std::error_code ec;
  std::vector<std::filesystem::path> sockets;
  for (const auto& item : std::filesystem::directory_iterator(Dir(), ec)) {
    if (simbt::AddressOfSocket(item.path())) sockets.push_back(item.path());
  }
  std::sort(sockets.begin(), sockets.end());
  for (const auto& path : sockets) {
    std::string why;
    const UniqueFd fd = Open(path, why);
    if (!fd) continue;  // a device that went away
    std::string line;
    const bool answered = simbt::WriteAll(fd.Get(), std::string(simbt::kName) + "\n") &&
                          simbt::ReadLine(fd.Get(), line, simbt::kAnswerTimeoutMs);
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
  std::vector<simbt::ServiceRecord> records;
  if (!LookUpServices(address, cancelFd, records, error)) return -1;
  const int channel = simbt::ChooseChannel(records, service);
  if (channel == 0) {
    error = "the device offers no Serial Port service";
    return -1;
  }
  UniqueFd fd = Open(simbt::SocketPath(Dir(), address), error);
  if (!fd) return -1;
  std::string line;
  if (!simbt::WriteAll(fd.Get(),
                       std::string(simbt::kConnect) + " " + std::to_string(channel) + "\n") ||
      !simbt::ReadLine(fd.Get(), line, simbt::kAnswerTimeoutMs, cancelFd) || line != simbt::kOk) {
    error = line.empty() ? "no answer from the device" : line;
    return -1;
  }
  return fd.Release();
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
  std::string error;
  if (!CheckPrivateDir(Dir(), true, error)) return false;
  return WriteFileAtomically(Dir() / simbt::kRadioFile,
                             std::to_string(static_cast<int>(mode)) + "\n", error);
}

}  // namespace platform
