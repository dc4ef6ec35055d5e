#include "remote/link/UnitLink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Bytes.h"
#include "platform/RuntimeDir.h"
#include "protocol/remote/FrameAssembler.h"
#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/RemoteMessages.h"

namespace remote::link {

using namespace protocol::remote;

namespace {

constexpr std::size_t kReceiveBuffer = 10000;
// Pause between failed connect attempts, so a unit out of reach costs nothing.
constexpr int kRetryMs = 500;
constexpr int kSendTimeoutMs = 2000;

void Trace(const char* direction, std::span<const std::uint8_t> bytes) {
  static const bool enabled = platform::TraceEnabled();
  if (enabled) std::fprintf(stderr, "bt %s %s\n", direction, platform::HexBytes(bytes).c_str());
}

}  // namespace

// One Start: the reader's socket, its wake pipe and whether Close was called.
struct UnitLink::Session {
  std::mutex windowMutex;  // Close takes the window away: nothing arrives after it
  platform::MessageTarget* window = nullptr;
  bool raw = false;
  int wake[2] = {-1, -1};
  std::atomic<bool> closed{false};
  std::atomic<bool> finished{false};
  std::atomic<unsigned> connections{0};
  std::mutex sendMutex;  // guards fd against a close while a send runs
  int fd = -1;

  void Post(platform::Message message) {
    std::lock_guard lock(windowMutex);
    if (window != nullptr) window->Post(std::move(message));
  }
  ~Session() {
    for (int f : wake) {
      if (f >= 0) close(f);
    }
  }
};

UnitLink::UnitLink(platform::Bluetooth& bluetooth, platform::Clock& clock)
    : bluetooth_(bluetooth), clock_(clock) {
  platform::RadioMode mode;
  if (bluetooth_.GetRadioMode(mode)) {
    savedRadio_ = mode;
    restoreRadio_ = true;
    if (mode == platform::RadioMode::kOff) bluetooth_.SetRadioMode(platform::RadioMode::kDiscoverable);
  }
}

UnitLink::~UnitLink() {
  Close();
  std::vector<std::pair<std::shared_ptr<Session>, std::thread>> readers;
  {
    std::lock_guard lock(mutex_);
    readers.swap(readers_);
  }
  for (auto& [session, thread] : readers) thread.join();
  if (restoreRadio_) bluetooth_.SetRadioMode(savedRadio_);
}

void UnitLink::SetUnit(const platform::BtAddress& address, std::string friendlyName,
                       std::string serviceName) {
  {
    std::lock_guard lock(mutex_);
    address_ = address;
    friendlyName_ = std::move(friendlyName);
    serviceName_ = std::move(serviceName);
  }
  changed_.notify_all();
}

platform::BtAddress UnitLink::Address() const {
  std::lock_guard lock(mutex_);
  return address_;
}

std::string UnitLink::FriendlyName() const {
  std::lock_guard lock(mutex_);
  return friendlyName_;
}

std::string UnitLink::ServiceName() const {
  std::lock_guard lock(mutex_);
  return serviceName_;
}

void UnitLink::SetEnabled(bool enabled) {
  {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
  }
  changed_.notify_all();
}

bool UnitLink::Enabled() const {
  std::lock_guard lock(mutex_);
  return enabled_;
}

void UnitLink::ReapFinished() {
  for (auto it = readers_.begin(); it != readers_.end();) {
    if (it->first->finished) {
      it->second.join();
      it = readers_.erase(it);
    } else {
      ++it;
    }
  }
}

bool UnitLink::Start(platform::MessageTarget* window, bool raw) {
  Close();
  auto session = std::make_shared<Session>();
  session->window = window;
  session->raw = raw;
  if (pipe2(session->wake, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  std::lock_guard lock(mutex_);
  ReapFinished();
  try {
    readers_.emplace_back(session, std::thread([this, session] { Run(session); }));
  } catch (const std::system_error&) {
    return false;  // the thread could not be created: the link stays down
  }
  session_ = session;
  return true;
}

void UnitLink::Close() {
  std::shared_ptr<Session> session;
  {
    std::lock_guard lock(mutex_);
    session.swap(session_);
  }
  if (!session) return;
  session->closed = true;
  {
    std::lock_guard windowLock(session->windowMutex);
    session->window = nullptr;
  }
  const char byte = 0;
  [[maybe_unused]] const auto n = write(session->wake[1], &byte, 1);
  {
    std::lock_guard sendLock(session->sendMutex);
    if (session->fd >= 0) shutdown(session->fd, SHUT_RDWR);
  }
  changed_.notify_all();
}

bool UnitLink::IsOpen() const {
  std::lock_guard lock(mutex_);
  return session_ != nullptr;
}

bool UnitLink::IsConnected() const {
  std::shared_ptr<Session> session;
  {
    std::lock_guard lock(mutex_);
    session = session_;
  }
  if (!session) return false;
  std::lock_guard sendLock(session->sendMutex);
  return session->fd >= 0;
}

unsigned UnitLink::Connections() const {
  std::lock_guard lock(mutex_);
  return session_ ? session_->connections.load() : 0;
}

void UnitLink::Run(std::shared_ptr<Session> session) {
  FrameAssembler assembler;
  std::vector<std::uint8_t> buffer(kReceiveBuffer);
  auto deliver = [&](std::span<const std::uint8_t> frame) {
    Trace("<", frame);
    session->Post({kWmLinkData, platform::GetU16(frame, kOffCommand), {},
                   std::vector<std::uint8_t>(frame.begin(), frame.end())});
  };

  while (!session->closed) {
    platform::BtAddress address;
    std::string service;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return session->closed || (enabled_ && !address_.IsZero()); });
      if (session->closed) break;
      address = address_;
      service = serviceName_;
    }
    std::string error;
    const int fd = bluetooth_.Connect(address, service, session->wake[0], error);
    if (fd < 0) {
      std::unique_lock lock(mutex_);
      changed_.wait_for(lock, std::chrono::milliseconds(kRetryMs), [&] { return session->closed.load(); });
      continue;
    }
    {
      std::lock_guard sendLock(session->sendMutex);
      if (session->closed) {
        close(fd);
        break;
      }
      session->fd = fd;
    }
    ++session->connections;
    assembler.Reset();
    if (!session->raw) session->Post({kWmLinkConnected, 0, {}, {}});
    for (;;) {
      pollfd fds[2] = {{fd, POLLIN, 0}, {session->wake[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[1].revents != 0) break;
      const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      const auto chunk = std::span<const std::uint8_t>(buffer).first(static_cast<std::size_t>(n));
      if (session->raw) {
        Trace("<", chunk);
        session->Post({kWmLinkData, n, {}, std::vector<std::uint8_t>(chunk.begin(), chunk.end())});
      } else {
        assembler.Feed(chunk, clock_.TickCount(), deliver);
      }
    }
    std::lock_guard sendLock(session->sendMutex);
    close(fd);
    session->fd = -1;
  }
  session->finished = true;
}

bool UnitLink::SendBytes(std::span<const std::uint8_t> bytes) {
  std::shared_ptr<Session> session;
  {
    std::lock_guard lock(mutex_);
    session = session_;
  }
  if (!session || bytes.empty()) return false;
  std::lock_guard sendLock(session->sendMutex);
  if (session->fd < 0) return false;
  Trace(">", bytes);
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(session->fd, bytes.data() + sent, bytes.size() - sent,
                           MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{session->fd, POLLOUT, 0};
      if (poll(&p, 1, kSendTimeoutMs) <= 0) return false;
      continue;
    }
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool UnitLink::Send(std::uint16_t command, std::span<const std::uint8_t> payload) {
  if (payload.size() > kMaxPayload) return false;
  RemoteFrame frame;
  frame.command = command;
  frame.payload.assign(payload.begin(), payload.end());
  return SendBytes(frame.Encode());
}

bool UnitLink::SendRaw(std::span<const std::uint8_t> bytes) { return SendBytes(bytes); }

bool UnitLink::SendRaw(std::string_view text) {
  // A text is at most 255 bytes, as the module's command line takes.
  text = text.substr(0, std::min<std::size_t>(text.size(), 255));
  return SendBytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace remote::link
