#include "sim/RemoteStreamServer.h"

#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>

#include "platform/Bytes.h"
#include "protocol/remote/FrameAssembler.h"
#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"
#include "sim/BluetoothRegistration.h"

namespace sim {

namespace rl = protocol::remote;

namespace {
// How often the streams look for changes of the unit to report, and for
// delayed answers whose time has come.
constexpr int kWatchMs = 20;
constexpr std::size_t kChunk = 4096;
constexpr std::size_t kMaxLine = 512;
// More unsent bytes than this: the peer is not reading.
constexpr std::size_t kMaxBacklog = 64 * 1024;
}  // namespace

// An answer waiting for the delay fault: a frame (record and payload) or a text.
struct RemoteStreamServer::Pending {
  std::uint64_t due = 0;
  bool text = false;
  std::uint16_t record = 0;
  std::vector<std::uint8_t> bytes;
};

struct RemoteStreamServer::Session {
  platform::UniqueFd fd;
  bool config = false;
  bool closed = false;
  rl::FrameAssembler assembler;
  std::array<std::uint8_t, rl::StatusRecord::kSize> lastStatus{};
  std::array<std::uint8_t, rl::DiscStatusRecord::kSize> lastDisc{};
  std::string line;
  std::deque<Pending> outbox;
  // Bytes the peer has not yet taken, and since when it has taken none.
  std::vector<std::uint8_t> unsent;
  std::chrono::steady_clock::time_point stalledSince;
};

RemoteStreamServer::RemoteStreamServer(SimUnit& unit, const StreamFaults& faults, int stallLimitMs)
    : unit_(unit), stallLimitMs_(stallLimitMs) {
  SetFaults(faults);
  thread_ = std::thread([this] { Run(); });
}

RemoteStreamServer::~RemoteStreamServer() {
  Stop();
}

void RemoteStreamServer::Run() {
  loop_.Run(kWatchMs, [this] { Tick(); });
  sessions_.clear();
}

void RemoteStreamServer::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    incoming_.clear();
  }
  loop_.Stop();
  if (thread_.joinable()) thread_.join();
}

void RemoteStreamServer::SetFaults(const StreamFaults& faults) {
  std::lock_guard lock(mutex_);
  faults_ = faults;
  refuseUntil_ = faults.refuseMs == 0 ? 0 : unit_.Clock().Milliseconds() + faults.refuseMs;
}

RemoteStreamServer::FaultCounts RemoteStreamServer::Counts() {
  std::lock_guard lock(mutex_);
  return counts_;
}

std::size_t RemoteStreamServer::Sessions() {
  std::lock_guard lock(mutex_);
  return sessionCount_;
}

std::string RemoteStreamServer::Refusal(const std::string&) {
  std::lock_guard lock(mutex_);
  ++attempts_;
  const bool byTime = refuseUntil_ != 0 && unit_.Clock().Milliseconds() < refuseUntil_;
  const bool byCount = faults_.refuseEvery != 0 && attempts_ % faults_.refuseEvery == 0;
  if (stopping_ || byTime || byCount) {
    ++counts_.refused;
    return "connection refused";
  }
  return "";
}

void RemoteStreamServer::Serve(platform::UniqueFd fd, const std::string& service) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    ++accepted_;
    // Like a module that resets as the link comes up: the fd closes here.
    if (faults_.dropEvery != 0 && accepted_ % faults_.dropEvery == 0) {
      ++counts_.dropped;
      return;
    }
    incoming_.emplace_back(std::move(fd), service);
  }
  loop_.Wake();
}

void RemoteStreamServer::Adopt() {
  std::vector<std::pair<platform::UniqueFd, std::string>> incoming;
  {
    std::lock_guard lock(mutex_);
    incoming.swap(incoming_);
  }
  for (auto& [fd, service] : incoming) {
    auto session = std::make_unique<Session>();
    session->fd = std::move(fd);
    session->config = service == rl::kServiceConfig;
    session->lastStatus = unit_.RemoteStatus();
    session->lastDisc = unit_.RemoteDisc();
    Session& s = *session;
    const int key = s.fd.Get();
    sessions_[key] = std::move(session);
    loop_.Watch(key, POLLIN, [this, &s](short revents) { OnEvents(s, revents); });
  }
}

void RemoteStreamServer::Tick() {
  Adopt();
  const auto stallLimit =
      std::chrono::steady_clock::now() - std::chrono::milliseconds(stallLimitMs_);
  for (auto& [fd, session] : sessions_) {
    if (!session->unsent.empty() && session->stalledSince < stallLimit) session->closed = true;
    if (!session->closed) Flush(*session);
    if (!session->closed && !session->config) ReportChanges(*session);
  }
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (it->second->closed) {
      loop_.Unwatch(it->first);
      shutdown(it->first, SHUT_RDWR);
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
  std::lock_guard lock(mutex_);
  sessionCount_ = sessions_.size();
}

void RemoteStreamServer::OnEvents(Session& session, short revents) {
  if ((revents & POLLOUT) != 0) SendQueued(session);
  if ((revents & ~POLLOUT) != 0) OnReadable(session);
}

void RemoteStreamServer::OnReadable(Session& session) {
  if (session.closed) return;
  std::uint8_t chunk[kChunk];
  const ssize_t got = recv(session.fd.Get(), chunk, sizeof chunk, MSG_DONTWAIT);
  if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
  if (got <= 0) {
    session.closed = true;
    loop_.Unwatch(session.fd.Get());
    return;
  }
  const auto bytes = std::span<const std::uint8_t>(chunk, static_cast<std::size_t>(got));
  if (session.config) {
    OnText(session, bytes);
  } else {
    session.assembler.Feed(bytes, unit_.Clock().TickCount(),
                           [&](std::span<const std::uint8_t> frame) { OnFrame(session, frame); });
  }
  Flush(session);
}

void RemoteStreamServer::OnFrame(Session& session, std::span<const std::uint8_t> bytes) {
  rl::RemoteFrame frame;
  if (!rl::RemoteFrame::Decode(bytes, frame)) return;
  switch (frame.command) {
    case rl::kReqInfo:
      Answer(session, rl::kRecInfo, unit_.RemoteInfo());
      // A remote that asks who we are starts from nothing: it learns what the
      // drive holds with the next report, not only once the drive changes.
      session.lastDisc = {};
      break;
    case rl::kReqStatus:
      session.lastStatus = unit_.RemoteStatus();
      Answer(session, rl::kRecStatus, session.lastStatus);
      break;
    case rl::kReqListing:
      for (const auto& entry : unit_.RemoteListing()) Answer(session, rl::kRecListEntry, entry);
      break;
    case rl::kReqClock:
      Answer(session, rl::kRecClock, unit_.RemoteClock());
      break;
    case rl::kReqBlock: {
      std::vector<std::uint8_t> block;
      if (frame.payload.size() >= 2 &&
          unit_.RemoteModuleBlock(platform::GetU16(frame.payload, 0), block)) {
        Answer(session, rl::kRecModuleBlock, block);
      }
      break;
    }
    default:
      if ((frame.command & rl::kRequestBit) != 0) break;  // a record the unit does not keep
      if (unit_.ApplyRemoteCommand(frame.command, frame.payload) &&
          frame.command == rl::kCmdWriteBlock) {
        Answer(session, rl::kRecWriteAck, {});
      }
      break;
  }
}

void RemoteStreamServer::OnText(Session& session, std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t b : bytes) {
    const char c = static_cast<char>(b);
    if (c == '\r' || c == '\n') {
      if (!session.line.empty()) AnswerText(session, AnswerAt(session.line));
      session.line.clear();
    } else if (session.line.size() < kMaxLine) {
      session.line += c;
    }
  }
}

void RemoteStreamServer::Answer(Session& session, std::uint16_t record,
                                std::span<const std::uint8_t> payload) {
  std::uint32_t delay = 0;
  {
    std::lock_guard lock(mutex_);
    delay = faults_.delayMs;
    if (delay != 0) ++counts_.delayed;
  }
  session.outbox.push_back(
      {unit_.Clock().Milliseconds() + delay, false, record, {payload.begin(), payload.end()}});
}

void RemoteStreamServer::AnswerText(Session& session, std::string text) {
  std::uint32_t delay = 0;
  {
    std::lock_guard lock(mutex_);
    delay = faults_.delayMs;
    if (delay != 0) ++counts_.delayed;
  }
  session.outbox.push_back(
      {unit_.Clock().Milliseconds() + delay, true, 0, {text.begin(), text.end()}});
}

void RemoteStreamServer::Flush(Session& session) {
  const std::uint64_t now = unit_.Clock().Milliseconds();
  while (!session.closed && !session.outbox.empty() && session.outbox.front().due <= now) {
    const Pending p = std::move(session.outbox.front());
    session.outbox.pop_front();
    if (p.text) {
      Send(session, p.bytes);
    } else {
      SendFrame(session, p.record, p.bytes);
    }
  }
}

void RemoteStreamServer::SendFrame(Session& session, std::uint16_t record,
                                   std::span<const std::uint8_t> payload) {
  bool lose = false;
  bool breakCrc = false;
  {
    std::lock_guard lock(mutex_);
    ++framesSent_;
    lose = faults_.lostEvery != 0 && framesSent_ % faults_.lostEvery == 0;
    breakCrc = !lose && faults_.crcEvery != 0 && framesSent_ % faults_.crcEvery == 0;
    if (lose) ++counts_.lost;
    if (breakCrc) ++counts_.broken;
  }
  if (lose) return;
  rl::RemoteFrame frame;
  frame.command = record;
  frame.payload.assign(payload.begin(), payload.end());
  auto bytes = frame.Encode();
  if (breakCrc) bytes.back() ^= 0xFF;
  Send(session, bytes);
}

void RemoteStreamServer::Send(Session& session, std::span<const std::uint8_t> bytes) {
  if (session.closed) return;
  if (session.unsent.empty()) session.stalledSince = std::chrono::steady_clock::now();
  session.unsent.insert(session.unsent.end(), bytes.begin(), bytes.end());
  SendQueued(session);
  if (session.unsent.size() > kMaxBacklog) session.closed = true;
}

void RemoteStreamServer::SendQueued(Session& session) {
  if (session.closed) return;
  std::size_t sent = 0;
  while (sent < session.unsent.size()) {
    const ssize_t n = send(session.fd.Get(), session.unsent.data() + sent,
                           session.unsent.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      session.closed = true;
      return;
    }
    sent += static_cast<std::size_t>(n);
  }
  if (sent != 0) session.stalledSince = std::chrono::steady_clock::now();
  session.unsent.erase(session.unsent.begin(),
                       session.unsent.begin() + static_cast<std::ptrdiff_t>(sent));
  // Room is waited for by the loop, never by blocking it.
  const int fd = session.fd.Get();
  if (loop_.Watching(fd)) {
    Session* s = &session;
    loop_.Watch(fd, session.unsent.empty() ? POLLIN : POLLIN | POLLOUT,
                [this, s](short revents) { OnEvents(*s, revents); });
  }
}

void RemoteStreamServer::ReportChanges(Session& session) {
  // The unit reports its own changes, whoever made them.
  const auto status = unit_.RemoteStatus();
  if (status != session.lastStatus) {
    session.lastStatus = status;
    SendFrame(session, rl::kRecStatus, status);
  }
  const auto disc = unit_.RemoteDisc();
  if (!session.closed && disc != session.lastDisc) {
    session.lastDisc = disc;
    SendFrame(session, rl::kRecDiscStatus, disc);
  }
}

std::string RemoteStreamServer::AnswerAt(const std::string& line) {
  auto ok = [](const std::string& answer) { return answer + "\r\nOK\r\n"; };
  if (line == "ATI1") return ok("MRX-BT serial module 2.1");
  if (line == "AT+RBDA") {
    const auto a = module_ != nullptr ? module_->Address() : platform::BtAddress{};
    char text[16];
    std::snprintf(text, sizeof text, "%04X%08X", a.high & 0xFFFF, a.low);
    return ok(text);
  }
  if (line.starts_with("AT+CLBN=")) {
    const std::string name = line.substr(8);
    if (name.empty() || name.size() > 31) return "ERROR\r\n";
    if (module_ != nullptr) module_->SetName(name);
    return "OK\r\n";
  }
  if (line == "AT+RLBN") return ok(module_ != nullptr ? module_->Name() : "");
  for (auto [prefix, value] : {std::pair{"AT+ULPW=", &ulpw_}, std::pair{"AT+UBTS=", &ubts_}}) {
    const std::string p = prefix;
    if (line.starts_with(p) && line.size() == p.size() + 1 &&
        (line.back() == '0' || line.back() == '1')) {
      *value = line.back() - '0';
      return "OK\r\n";
    }
  }
  return "ERROR\r\n";
}

}  // namespace sim
