#include "platform/SimBluetoothWire.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>

#include "platform/RuntimeDir.h"
#include "platform/SocketIo.h"

namespace platform::simbt {

std::filesystem::path Directory() {
  return RuntimeDir() / "bluetooth";
}

std::filesystem::path SocketPath(const std::filesystem::path& dir, const BtAddress& address) {
  char name[16];
  std::snprintf(name, sizeof name, "%04X%08X", address.high & 0xFFFF, address.low);
  return dir / (std::string(name) + std::string(kSocketSuffix));
}

std::optional<BtAddress> AddressOfSocket(const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  if (name.size() != 12 + kSocketSuffix.size() || !name.ends_with(kSocketSuffix))
    return std::nullopt;
  return BtAddress::Parse(std::string_view(name).substr(0, 12));
}

std::string FormatService(const ServiceRecord& record) {
  char head[32];
  std::snprintf(head, sizeof head, " %d %04X ", record.channel, record.serviceClass);
  return std::string(kService) + head + record.name;
}

std::optional<ServiceRecord> ParseService(std::string_view line) {
  if (!line.starts_with(kService) || line.size() <= kService.size() + 1 ||
      line[kService.size()] != ' ') {
    return std::nullopt;
  }
  line.remove_prefix(kService.size() + 1);
  ServiceRecord record;
  const auto channelEnd = line.find(' ');
  if (channelEnd == std::string_view::npos) return std::nullopt;
  const auto channel = line.substr(0, channelEnd);
  auto [p, ec] = std::from_chars(channel.data(), channel.data() + channel.size(), record.channel);
  if (ec != std::errc() || p != channel.data() + channel.size() || record.channel < 1 ||
      record.channel > 30) {
    return std::nullopt;
  }
  line.remove_prefix(channelEnd + 1);
  if (line.size() < 4 || (line.size() > 4 && line[4] != ' ')) return std::nullopt;
  auto [q, ec2] = std::from_chars(line.data(), line.data() + 4, record.serviceClass, 16);
  if (ec2 != std::errc() || q != line.data() + 4) return std::nullopt;
  record.name = line.size() > 5 ? std::string(line.substr(5)) : std::string();
  return record;
}

int ChooseChannel(const std::vector<ServiceRecord>& records, std::string_view service) {
  int first = 0;
  for (const ServiceRecord& r : records) {
    if (r.serviceClass != kSerialPortClass) continue;
    if (r.name == service) return r.channel;
    if (first == 0) first = r.channel;
  }
  return first;
}

bool ReadLine(int fd, std::string& line, int timeoutMs, int cancelFd) {
  line.clear();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          end - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd fds[2] = {{fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
    const int n = poll(fds, cancelFd >= 0 ? 2 : 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (cancelFd >= 0 && fds[1].revents != 0) return false;
    char c = 0;
    const ssize_t got = recv(fd, &c, 1, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    if (c == '\n') return true;
    if (line.size() >= kMaxLine) return false;
    line += c;
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  return platform::WriteAll(fd, bytes);
}

}  // namespace platform::simbt
