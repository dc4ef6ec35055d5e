#include "sim/Klf310Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "protocol/klf/KlfMessage.h"

namespace sim {

namespace pk = protocol::klf;

namespace {
constexpr int kWatchMs = 20;
constexpr std::uint64_t kBindRetryMs = 1000;
constexpr std::size_t kChunk = 4096;
// More unsent bytes than this: the client is not reading.
constexpr std::size_t kMaxBacklog = 64 * 1024;
constexpr std::size_t kFlashSize =
    pk::CardFlash::kApplicationEnd - pk::CardFlash::kApplicationStart;

std::string Dotted(const std::array<std::uint8_t, 4>& ip) {
  return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
         std::to_string(ip[3]);
}

platform::UniqueFd ListenOn(const std::array<std::uint8_t, 4>& ip, std::uint16_t port) {
  platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return fd;
  const int on = 1;
  setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  std::memcpy(&address.sin_addr.s_addr, ip.data(), ip.size());  // first octet first
  address.sin_port = htons(port);
  if (bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd.Get(), 16) != 0) {
    fd.Reset();
  }
  return fd;
}
}  // namespace

struct Klf310Server::Card {
  std::uint8_t address = 0;
  std::array<std::uint8_t, 4> ip{};
  platform::UniqueFd update;
  platform::UniqueFd curve;
  bool boot = false;            // the boot software runs
  std::uint64_t goneUntil = 0;  // restarting: nothing listens
  std::uint64_t bindRetryAt = 0;
  bool bindReported = false;
  bool erased = false;
  bool ended = false;
  std::vector<std::uint8_t> flash;  // the application area as written
};

struct Klf310Server::Session {
  platform::UniqueFd fd;
  Card* card = nullptr;
  bool curvePort = false;
  bool closed = false;
  bool unsaved = false;  // a curve transfer is open: bins taken without its last message
  short watched = 0;     // the events the loop waits for
  std::vector<std::uint8_t> in;
  std::deque<Chunk> out;
  std::chrono::steady_clock::time_point lastProgress;
};

Klf310Server::Klf310Server(SimUnit& unit, Options options) : unit_(unit), options_(options) {}

Klf310Server::~Klf310Server() {
  Stop();
}

bool Klf310Server::Start(std::string& error) {
  if (!loop_.Valid()) {
    error = std::strerror(errno);
    return false;
  }
  loop_.Rearm();
  thread_ = std::thread([this] { Run(); });
  return true;
}

void Klf310Server::Stop() {
  if (!thread_.joinable()) return;
  loop_.Stop();
  thread_.join();
}

bool Klf310Server::InBootSoftware(std::uint8_t address) {
  std::lock_guard lock(mutex_);
  const auto it = bootFlags_.find(address);
  return it != bootFlags_.end() && it->second;
}

std::uint64_t Klf310Server::Now() {
  return unit_.Clock().Milliseconds();
}

void Klf310Server::Run() {
  while (!loop_.Stopping()) {
    Tick();
    if (!loop_.RunOnce(NextTimeoutMs())) break;
  }
  for (auto& [fd, session] : sessions_) {
    if (session->unsaved) unit_.KlfDropTransfers(session->card->address);
  }
  sessions_.clear();
  for (auto& [address, card] : cards_) Unlisten(*card);
  cards_.clear();
}

int Klf310Server::NextTimeoutMs() {
  const std::uint64_t now = Now();
  std::uint64_t wait = kWatchMs;
  for (const auto& [fd, session] : sessions_) {
    if (!session->out.empty() && session->out.front().due > now) {
      wait = std::min(wait, session->out.front().due - now);
    }
  }
  return static_cast<int>(wait);
}

void Klf310Server::Tick() {
  // The cards' settings change rarely: once per watch interval is enough,
  // and keeps the unit's lock out of every exchange.
  const std::uint64_t now = Now();
  if (now >= nextFollowAt_) {
    FollowCards();
    nextFollowAt_ = now + kWatchMs;
  }
  const auto idleLimit =
      std::chrono::steady_clock::now() - std::chrono::milliseconds(options_.idleLimitMs);
  for (auto& [fd, session] : sessions_) {
    if (session->lastProgress < idleLimit) Close(*session);
    Flush(*session);
  }
  Reap();
}

void Klf310Server::FollowCards() {
  const std::uint64_t now = Now();
  std::vector<std::uint8_t> present;
  for (const SimUnit::KlfCard& known : unit_.KlfCards()) {
    present.push_back(known.address);
    auto& slot = cards_[known.address];
    if (!slot) {
      slot = std::make_unique<Card>();
      slot->address = known.address;
      slot->ip = known.ip;
    }
    Card& card = *slot;
    if (card.ip != known.ip) {  // new settings stored: the card moves
      Unlisten(card);
      card.ip = known.ip;
      card.bindRetryAt = 0;
      card.bindReported = false;
    }
    if (now >= card.goneUntil && !card.update && now >= card.bindRetryAt && unit_.KlfListening()) {
      Listen(card);
    }
  }
  for (auto it = cards_.begin(); it != cards_.end();) {
    if (std::find(present.begin(), present.end(), it->first) == present.end()) {
      Unlisten(*it->second);
      for (auto& [fd, session] : sessions_) {
        if (session->card == it->second.get()) Close(*session);
      }
      Reap();
      it = cards_.erase(it);
    } else {
      ++it;
    }
  }
}

void Klf310Server::Listen(Card& card) {
  card.update = ListenOn(card.ip, pk::kUpdatePort);
  // The boot software serves the update port only.
  if (card.update && !card.boot) card.curve = ListenOn(card.ip, pk::kCurvePort);
  if (!card.update || (!card.boot && !card.curve)) {
    const int why = errno;
    card.update.Reset();
    card.curve.Reset();
    card.bindRetryAt = Now() + kBindRetryMs;
    if (!card.bindReported) {
      std::fprintf(stderr, "mrx520-sim: KLF310 at %d cannot listen on %s: %s; trying again\n",
                   int(card.address), Dotted(card.ip).c_str(), std::strerror(why));
      card.bindReported = true;
    }
    return;
  }
  if (card.bindReported) {
    std::fprintf(stderr, "mrx520-sim: KLF310 at %d listens on %s\n", int(card.address),
                 Dotted(card.ip).c_str());
    card.bindReported = false;
  }
  Card* c = &card;
  loop_.Watch(card.update.Get(), POLLIN, [this, c](short) { Accept(*c, false); });
  if (card.curve) loop_.Watch(card.curve.Get(), POLLIN, [this, c](short) { Accept(*c, true); });
}

void Klf310Server::Unlisten(Card& card) {
  for (platform::UniqueFd* fd : {&card.update, &card.curve}) {
    if (!*fd) continue;
    loop_.Unwatch(fd->Get());
    fd->Reset();
  }
}

// The card switches software: its connections end and its ports close for a while.
void Klf310Server::Restart(Card& card) {
  Unlisten(card);
  for (auto& [fd, session] : sessions_) {
    if (session->card == &card) {
      Flush(*session);
      Close(*session);
    }
  }
  card.goneUntil = Now() + options_.restartMs;
  std::lock_guard lock(mutex_);
  bootFlags_[card.address] = card.boot;
}

void Klf310Server::Accept(Card& card, bool curvePort) {
  const int listener = curvePort ? card.curve.Get() : card.update.Get();
  for (;;) {
    platform::UniqueFd fd(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd) return;
    const int on = 1;
    setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto session = std::make_unique<Session>();
    session->fd = std::move(fd);
    session->card = &card;
    session->curvePort = curvePort;
    session->lastProgress = std::chrono::steady_clock::now();
    Session* s = session.get();
    const int key = s->fd.Get();
    sessions_[key] = std::move(session);
    Watch(*s, POLLIN);
  }
}

void Klf310Server::OnReadable(Session& session) {
  if (session.closed) return;
  std::uint8_t chunk[kChunk];
  const ssize_t got = recv(session.fd.Get(), chunk, sizeof chunk, MSG_DONTWAIT);
  if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
  if (got <= 0) {
    Close(session);
    return;
  }
  session.lastProgress = std::chrono::steady_clock::now();
  session.in.insert(session.in.end(), chunk, chunk + got);
  for (;;) {
    std::size_t size = 0;
    const auto state = pk::CheckMessage(session.in, size);
    if (state == pk::MessageState::kIncomplete) break;
    if (state == pk::MessageState::kInvalid) {
      Close(session);  // framing is lost
      return;
    }
    const bool taken = Handle(session, std::span(session.in).first(size));
    session.in.erase(session.in.begin(), session.in.begin() + static_cast<std::ptrdiff_t>(size));
    if (!taken) {
      Close(session);
      return;
    }
    if (session.closed) return;  // the card restarted
  }
}

bool Klf310Server::Handle(Session& session, std::span<const std::uint8_t> message) {
  switch (unit_.KlfRequestFault()) {
    case SimUnit::KlfFault::kFail:
      return false;  // the connection ends unanswered
    case SimUnit::KlfFault::kLost:
      return true;  // lost on the way: neither taken nor answered
    case SimUnit::KlfFault::kNone:
      break;
  }
  return session.curvePort ? HandleCurve(session, message) : HandleUpdate(session, message);
}

bool Klf310Server::HandleCurve(Session& session, std::span<const std::uint8_t> message) {
  const pk::MessageHeader header = pk::MessageHeader::Decode(message);
  const std::uint8_t address = session.card->address;
  if (header.command == pk::command::kReadCurve) {
    if (header.length != pk::CurveRange::kSize) return false;
    const pk::CurveRange range = pk::CurveRange::Decode(message.subspan(pk::MessageHeader::kSize));
    std::vector<pk::CurveBin> bins;
    if (!unit_.KlfReadBins(address, range, bins)) return false;
    Reply(session, pk::EncodeCurveReply(range, bins));
    return true;
  }
  if (header.command == pk::command::kWriteCurve) {
    pk::CurveRange range;
    std::vector<pk::CurveBin> bins;
    if (header.length != pk::CurveRange::kWritePayloadLength ||
        !pk::DecodeCurveBins(message, range, bins)) {
      return false;
    }
    const bool last = range.flags == pk::CurveRange::kFlagsLast;
    if (!unit_.KlfWriteBins(address, range, bins, last)) return false;
    session.unsaved = !last;
    Reply(session, pk::EncodeBare(header.command));
    return true;
  }
  return false;
}

bool Klf310Server::HandleUpdate(Session& session, std::span<const std::uint8_t> message) {
  Card& card = *session.card;
  const pk::MessageHeader header = pk::MessageHeader::Decode(message);
  const auto ack = pk::EncodeBare(header.command);
  if (header.command == pk::command::kStartBoot) {
    if (header.length != 0) return false;
    if (card.boot) {
      Reply(session, ack);
      return true;
    }
    card.boot = true;
    // Queued whole and sent by the restart once nothing listens any more, so
    // a client that reconnects at once meets the restarting card.
    session.out.push_back({{ack.begin(), ack.end()}, Now()});
    Restart(card);
    return true;
  }
  // Everything else is the boot software's.
  if (!card.boot) return false;
  switch (header.command) {
    case pk::command::kEraseFlash:
      card.flash.assign(kFlashSize, 0xFF);
      card.erased = true;
      card.ended = false;
      break;
    case pk::command::kWriteBlock: {
      pk::WriteBlock block;
      if (!card.erased || card.ended || !pk::WriteBlock::Decode(message, block)) return false;
      // Whole words, one message's worth, inside the application area.
      const std::size_t count = block.data.size();
      if (count == 0 || count % 4 != 0 || count > pk::WriteBlock::kMaxImageBytes ||
          block.address < pk::CardFlash::kApplicationStart ||
          std::uint64_t{block.address} + count > pk::CardFlash::kApplicationEnd) {
        return false;
      }
      std::copy(block.data.begin(), block.data.end(),
                card.flash.begin() + (block.address - pk::CardFlash::kApplicationStart));
      unit_.KlfBlockTaken();
      break;
    }
    case pk::command::kEndDownload:
      if (!card.erased) return false;
      card.ended = true;
      break;
    case pk::command::kStartSoftware:
      // Without a whole download there is no application to start.
      if (!card.erased || !card.ended) break;
      unit_.KlfStartApplication(card.address, card.flash);
      card.boot = card.erased = card.ended = false;
      card.flash.clear();
      session.out.push_back({{ack.begin(), ack.end()}, Now()});
      Restart(card);
      return true;
    default:
      return false;
  }
  Reply(session, ack);
  return true;
}

void Klf310Server::Reply(Session& session, std::span<const std::uint8_t> bytes) {
  const std::uint64_t now = Now();
  ++replies_;
  if (options_.splitEvery != 0 && replies_ % options_.splitEvery == 0 && bytes.size() > 1) {
    // Cut at a point that moves from reply to reply, inside the header too.
    const std::size_t cut = 1 + (replies_ / options_.splitEvery * 5) % (bytes.size() - 1);
    session.out.push_back({{bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)}, now});
    session.out.push_back({{bytes.begin() + static_cast<std::ptrdiff_t>(cut), bytes.end()},
                           now + options_.splitPauseMs});
    ++splitReplies_;
  } else if (session.out.empty() && !session.closed) {
    // Nothing waits before it: straight to the socket, only a rest is queued.
    ssize_t n = 0;
    do {
      n = send(session.fd.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      Close(session);
      return;
    }
    const std::size_t sent = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (sent > 0) session.lastProgress = std::chrono::steady_clock::now();
    if (sent == bytes.size()) return;
    session.out.push_back({{bytes.begin() + static_cast<std::ptrdiff_t>(sent), bytes.end()}, now});
  } else {
    session.out.push_back({{bytes.begin(), bytes.end()}, now});
  }
  Flush(session);
}

void Klf310Server::Flush(Session& session) {
  if (session.closed) return;
  const std::uint64_t now = Now();
  std::size_t backlog = 0;
  while (!session.out.empty() && session.out.front().due <= now) {
    Chunk& chunk = session.out.front();
    const ssize_t n =
        send(session.fd.Get(), chunk.bytes.data(), chunk.bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      Close(session);
      return;
    }
    session.lastProgress = std::chrono::steady_clock::now();
    chunk.bytes.erase(chunk.bytes.begin(), chunk.bytes.begin() + static_cast<std::ptrdiff_t>(n));
    if (chunk.bytes.empty()) session.out.pop_front();
  }
  for (const Chunk& chunk : session.out) backlog += chunk.bytes.size();
  if (backlog > kMaxBacklog) {
    Close(session);
    return;
  }
  // Room is waited for by the loop; a due chunk by the loop's timeout.
  const bool blocked = !session.out.empty() && session.out.front().due <= now;
  Watch(session, blocked ? POLLIN | POLLOUT : POLLIN);
}

void Klf310Server::Watch(Session& session, short events) {
  if (session.watched == events) return;
  session.watched = events;
  Session* s = &session;
  loop_.Watch(session.fd.Get(), events, [this, s](short revents) {
    if ((revents & POLLOUT) != 0) Flush(*s);
    if ((revents & ~POLLOUT) != 0) OnReadable(*s);
    Reap();
  });
}

void Klf310Server::Close(Session& session) {
  if (session.closed) return;
  session.closed = true;
  loop_.Unwatch(session.fd.Get());
  // A transfer cut short changes nothing.
  if (session.unsaved) unit_.KlfDropTransfers(session.card->address);
  session.unsaved = false;
}

void Klf310Server::Reap() {
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (it->second->closed) {
      shutdown(it->first, SHUT_RDWR);
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace sim
