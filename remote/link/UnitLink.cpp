#include "remote/link/UnitLink.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/Bytes.h"
#include "platform/PollLoop.h"
#include "platform/RuntimeDir.h"
#include "platform/SocketIo.h"
#include "platform/UniqueFd.h"
#include "protocol/remote/FrameAssembler.h"
#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/ReconnectPause.h"
#include "remote/link/RemoteMessages.h"

namespace remote::link {

using namespace protocol::remote;

namespace {

constexpr std::size_t kReceiveBuffer = 10000;
constexpr int kSendTimeoutMs = 2000;

void Trace(const char* direction, std::span<const std::uint8_t> bytes) {
  static const bool enabled = platform::TraceEnabled();
  if (enabled) std::fprintf(stderr, "bt %s %s\n", direction, platform::HexBytes(bytes).c_str());
}

}  // namespace

// One Start: the reader's poll loop (stopped by Close), the stream while
// connected, and the window that receives what it reads.
struct UnitLink::Session {
  std::mutex windowMutex;  // Close takes the window away: nothing arrives after it
  platform::MessageTarget* window = nullptr;
  bool raw = false;
  platform::PollLoop loop;
  std::atomic<bool> finished{false};
  std::atomic<unsigned> connections{0};
  std::mutex sendMutex;  // guards the stream against a close while a send runs
  platform::UniqueFd stream;

  void Post(platform::Message message) {
    std::lock_guard lock(windowMutex);
    if (window != nullptr) window->Post(std::move(message));
  }
};

UnitLink::UnitLink(platform::Bluetooth& bluetooth, platform::Clock& clock)
    : bluetooth_(bluetooth),
      clock_(clock),
      makeThread_([](std::function<void()> run) { return std::thread(std::move(run)); }) {
  platform::RadioMode mode;
  if (bluetooth_.GetRadioMode(mode)) {
    savedRadio_ = mode;
    restoreRadio_ = true;
    if (mode == platform::RadioMode::kOff)
      bluetooth_.SetRadioMode(platform::RadioMode::kDiscoverable);
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

void UnitLink::WakeReader() {
  // Caller holds mutex_: the reader reads what changed after this wake-up.
  if (session_) session_->loop.Wake();
}

void UnitLink::SetUnit(const platform::BtAddress& address, std::string friendlyName,
                       std::string serviceName) {
  std::lock_guard lock(mutex_);
  address_ = address;
  friendlyName_ = std::move(friendlyName);
  serviceName_ = std::move(serviceName);
  WakeReader();
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
  std::lock_guard lock(mutex_);
  enabled_ = enabled;
  WakeReader();
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
  if (!session->loop.Valid()) return false;
  session->window = window;
  session->raw = raw;
  std::lock_guard lock(mutex_);
  ReapFinished();
  try {
    readers_.emplace_back(session, makeThread_([this, session] { Run(session); }));
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
  // The stop flag is set before the wake byte is written and the byte stays
  // until the reader's next round: whatever the reader is doing, it sees it.
  session->loop.Stop();
  {
    std::lock_guard windowLock(session->windowMutex);
    session->window = nullptr;
  }
  std::lock_guard sendLock(session->sendMutex);
  if (session->stream) shutdown(session->stream.Get(), SHUT_RDWR);
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
  return session->stream.Valid();
}

unsigned UnitLink::Connections() const {
  std::lock_guard lock(mutex_);
  return session_ ? session_->connections.load() : 0;
}

void UnitLink::Run(const std::shared_ptr<Session>& session) {
  platform::PollLoop& loop = session->loop;
  ReconnectPause pause;
  for (;;) {
    // Take any wake-up already sent, then look at the state it announced; a
    // wake-up after this point stays pending and ends the wait below.
    loop.RunOnce(0);
    if (loop.Stopping()) break;
    platform::BtAddress address;
    std::string service;
    bool ready = false;
    {
      std::lock_guard lock(mutex_);
      ready = enabled_ && !address_.IsZero();
      address = address_;
      service = serviceName_;
    }
    if (!ready) {
      loop.RunOnce(-1);  // disabled or no unit: wait for news, using nothing
      continue;
    }
    std::string error;
    platform::UniqueFd fd(bluetooth_.Connect(address, service, loop.WakeFd(), error));
    if (!fd) {
      clock_.SleepOrWake(pause.AfterFailure(), loop.WakeFd());
      continue;
    }
    {
      std::lock_guard sendLock(session->sendMutex);
      if (loop.Stopping()) break;
      session->stream = std::move(fd);
    }
    const std::uint64_t connectedAt = clock_.Milliseconds();
    ++session->connections;
    if (!session->raw) session->Post({kWmLinkConnected, 0, {}, {}});
    Receive(*session, session->stream.Get());
    {
      std::lock_guard sendLock(session->sendMutex);
      session->stream.Reset();
    }
    if (loop.Stopping()) break;
    const std::uint32_t wait = pause.AfterConnection(clock_.Milliseconds() - connectedAt);
    if (wait > 0) clock_.SleepOrWake(wait, loop.WakeFd());
  }
  session->finished = true;
}

void UnitLink::Receive(Session& session, int fd) {
  FrameAssembler assembler;
  std::vector<std::uint8_t> buffer(kReceiveBuffer);
  auto deliver = [&](std::span<const std::uint8_t> frame) {
    Trace("<", frame);
    session.Post({kWmLinkData,
                  platform::GetU16(frame, kOffCommand),
                  {},
                  std::vector<std::uint8_t>(frame.begin(), frame.end())});
  };
  bool open = true;
  session.loop.Watch(fd, POLLIN, [&](short) {
    const ssize_t n = recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
      open = false;
      return;
    }
    const auto chunk = std::span<const std::uint8_t>(buffer).first(static_cast<std::size_t>(n));
    if (session.raw) {
      Trace("<", chunk);
      session.Post({kWmLinkData, n, {}, std::vector<std::uint8_t>(chunk.begin(), chunk.end())});
    } else {
      assembler.Feed(chunk, clock_.TickCount(), deliver);
    }
  });
  while (open && !session.loop.Stopping()) {
    if (!session.loop.RunOnce(-1)) break;
  }
  session.loop.Unwatch(fd);
}

bool UnitLink::SendBytes(std::span<const std::uint8_t> bytes) {
  std::shared_ptr<Session> session;
  {
    std::lock_guard lock(mutex_);
    session = session_;
  }
  if (!session || bytes.empty()) return false;
  std::lock_guard sendLock(session->sendMutex);
  if (!session->stream) return false;
  const int fd = session->stream.Get();
  Trace(">", bytes);
  // One limit for the whole frame: a unit that stops reading fails the send.
  return platform::WriteAll(fd, bytes, kSendTimeoutMs);
}

bool UnitLink::Send(std::uint16_t command, std::span<const std::uint8_t> payload) {
  if (payload.size() > kMaxPayload) return false;
  RemoteFrame frame;
  frame.command = command;
  frame.payload.assign(payload.begin(), payload.end());
  return SendBytes(frame.Encode());
}

bool UnitLink::SendRaw(std::span<const std::uint8_t> bytes) {
  return SendBytes(bytes);
}

bool UnitLink::SendRaw(std::string_view text) {
  // A text is at most 255 bytes, as the module's command line takes.
  text = text.substr(0, std::min<std::size_t>(text.size(), 255));
  return SendBytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace remote::link
