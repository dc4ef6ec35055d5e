#include "sim/Klf310Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/SocketIo.h"
#include "protocol/klf/KlfMessage.h"
#include "sim/KlfAddresses.h"

namespace sim {

namespace pk = protocol::klf;

namespace {
constexpr int kWatchMs = 20;
constexpr std::uint64_t kBindRetryMs = 1000;
constexpr std::size_t kChunk = 4096;
constexpr std::size_t kFlashSize =
    pk::CardFlash::kApplicationEnd - pk::CardFlash::kApplicationStart;

}  // namespace

struct Klf310Server::Card {
  std::uint8_t address = 0;
  std::array<std::uint8_t, 4> ip{};
  platform::UniqueFd update;
  platform::UniqueFd curve;
  bool boot = false;            // the boot software runs
  bool stopped = false;         // the listeners were shut; the loop closes them
  std::uint64_t goneUntil = 0;  // restarting: nothing listens
  std::uint64_t bindRetryAt = 0;
  bool bindReported = false;
  bool erased = false;
  bool ended = false;
  std::vector<std::uint8_t> flash;  // the application area as written
};

struct Klf310Server::Session {
  // Closed only once the thread has been joined, so a shutdown from another
  // thread never meets a reused descriptor.
  platform::UniqueFd fd;
  std::shared_ptr<Card> card;
  bool curvePort = false;
  SimUnit::KlfTransfer transfer;   // curve bins taken without the closing message yet
  std::vector<pk::CurveBin> bins;  // the last read's, kept for its room
  std::thread thread;
  std::atomic<bool> done{false};
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
  {
    // The cards listen, and the address file is there, once Start returns.
    std::lock_guard lock(mutex_);
    FollowCards();
    nextFollowAt_ = Now() + kWatchMs;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void Klf310Server::Stop() {
  if (!thread_.joinable()) return;
  loop_.Stop();
  thread_.join();
  if (!options_.addressFile.empty()) {
    std::error_code ec;
    std::filesystem::remove(options_.addressFile, ec);
  }
}

bool Klf310Server::InBootSoftware(std::uint8_t address) {
  std::lock_guard lock(flagsMutex_);
  const auto it = bootFlags_.find(address);
  return it != bootFlags_.end() && it->second;
}

std::uint64_t Klf310Server::Now() {
  return unit_.Clock().Milliseconds();
}

void Klf310Server::Run() {
  while (!loop_.Stopping()) {
    Tick();
    if (!loop_.RunOnce(kWatchMs)) break;
  }
  ReapSessions(true);
  std::lock_guard lock(mutex_);
  for (auto& [address, card] : cards_) Unlisten(*card);
  cards_.clear();
}

void Klf310Server::Tick() {
  ReapSessions(false);
  std::lock_guard lock(mutex_);
  for (auto& [address, card] : cards_) {
    if (card->stopped) {
      Unlisten(*card);
      card->stopped = false;
    }
  }
  // The cards' settings change rarely: once per watch interval is enough.
  const std::uint64_t now = Now();
  if (now >= nextFollowAt_) {
    FollowCards();
    nextFollowAt_ = now + kWatchMs;
  }
}

// Joins the sessions that ended (all of them, ending them first, when `all`).
void Klf310Server::ReapSessions(bool all) {
  std::vector<std::unique_ptr<Session>> ended;
  {
    std::lock_guard lock(mutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if (all) shutdown((*it)->fd.Get(), SHUT_RDWR);
      if (all || (*it)->done) {
        ended.push_back(std::move(*it));
        it = sessions_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Outside the lock: a session may still be waiting for it to finish a request.
  for (auto& session : ended) session->thread.join();
}

void Klf310Server::FollowCards() {
  const std::uint64_t now = Now();
  std::vector<std::uint8_t> present;
  for (const SimUnit::KlfCard& known : unit_.KlfCards()) {
    present.push_back(known.address);
    auto& slot = cards_[known.address];
    if (!slot) {
      slot = std::make_shared<Card>();
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
      // Its sessions end; they keep the card until their threads are joined.
      for (const auto& session : sessions_) {
        if (session->card == it->second) shutdown(session->fd.Get(), SHUT_RDWR);
      }
      it = cards_.erase(it);
    } else {
      ++it;
    }
  }
  WriteAddressFile();
}

// Rewritten only when a card came, went or moved.
void Klf310Server::WriteAddressFile() {
  if (options_.addressFile.empty()) return;
  std::string lines;
  for (const auto& [address, card] : cards_) {
    lines += std::to_string(address) + " " + Dotted(card->ip) + "\n";
  }
  if (lines == addressLines_) return;
  std::string error;
  if (!platform::WriteFileAtomically(options_.addressFile, lines, error, 0600)) {
    std::fprintf(stderr, "mrx520-sim: cannot write %s: %s\n", options_.addressFile.c_str(),
                 error.c_str());
  }
  addressLines_ = lines;
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
    if (!card.bindReported && !IsLoopback(card.ip)) {
      std::fprintf(stderr,
                   "mrx520-sim: KLF310 at %d is not served on %s: the simulated card listens "
                   "on loopback addresses (127.0.0.0/8) only\n",
                   int(card.address), Dotted(card.ip).c_str());
    } else if (!card.bindReported) {
      std::fprintf(stderr, "mrx520-sim: KLF310 at %d cannot listen on %s: %s; trying again\n",
                   int(card.address), Dotted(card.ip).c_str(), std::strerror(why));
    }
    card.bindReported = true;
    return;
  }
  if (card.bindReported) {
    std::fprintf(stderr, "mrx520-sim: KLF310 at %d listens on %s\n", int(card.address),
                 Dotted(card.ip).c_str());
    card.bindReported = false;
  }
  const std::shared_ptr<Card> c = cards_.at(card.address);
  loop_.Watch(card.update.Get(), POLLIN, [this, c](short) { Accept(c, false); });
  if (card.curve) loop_.Watch(card.curve.Get(), POLLIN, [this, c](short) { Accept(c, true); });
}

void Klf310Server::Unlisten(Card& card) {
  for (platform::UniqueFd* fd : {&card.update, &card.curve}) {
    if (!*fd) continue;
    loop_.Unwatch(fd->Get());
    fd->Reset();
  }
}

// The card switches software: nothing listens from now on and its other
// connections end. Called by the session that asked for it, with the lock
// held; the loop closes the listeners and opens them again when the card is
// back.
void Klf310Server::Restart(Card& card, const Session& from) {
  // A shut listener takes no more connections at once, also while the loop
  // still watches it.
  for (platform::UniqueFd* fd : {&card.update, &card.curve}) {
    if (*fd) shutdown(fd->Get(), SHUT_RDWR);
  }
  card.stopped = true;
  for (const auto& session : sessions_) {
    if (session.get() != &from && session->card.get() == &card) {
      shutdown(session->fd.Get(), SHUT_RDWR);
    }
  }
  card.goneUntil = Now() + options_.restartMs;
  {
    std::lock_guard lock(flagsMutex_);
    bootFlags_[card.address] = card.boot;
  }
  loop_.Wake();
}

void Klf310Server::Accept(const std::shared_ptr<Card>& card, bool curvePort) {
  const int listener = curvePort ? card->curve.Get() : card->update.Get();
  for (;;) {
    platform::UniqueFd fd(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd) return;
    const int on = 1;
    setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // The session's receive waits at most this long for a request.
    const timeval idle{static_cast<time_t>(options_.idleLimitMs / 1000),
                       static_cast<suseconds_t>(options_.idleLimitMs % 1000 * 1000)};
    setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
    auto session = std::make_unique<Session>();
    session->fd = std::move(fd);
    session->card = card;
    session->curvePort = curvePort;
    Session* s = session.get();
    std::lock_guard lock(mutex_);
    sessions_.push_back(std::move(session));
    s->thread = std::thread([this, s] { Serve(*s); });
  }
}

// The session's own thread: it waits in the receive, so a request is
// answered by the thread it woke.
void Klf310Server::Serve(Session& session) {
  std::vector<std::uint8_t> in;
  std::vector<std::uint8_t> reply;
  std::uint8_t chunk[kChunk];
  bool open = true;
  while (open) {
    const ssize_t got = recv(session.fd.Get(), chunk, sizeof chunk, 0);
    if (got < 0 && errno == EINTR) continue;
    // Closed, shut down by the server, or idle past the limit.
    if (got <= 0) break;
    in.insert(in.end(), chunk, chunk + got);
    while (open) {
      std::size_t size = 0;
      const auto state = pk::CheckMessage(in, size);
      if (state == pk::MessageState::kIncomplete) break;
      if (state == pk::MessageState::kInvalid) {
        open = false;  // framing is lost
        break;
      }
      const Outcome outcome = Handle(session, std::span(in).first(size), reply);
      in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(size));
      if (outcome == Outcome::kLost) continue;
      open = outcome != Outcome::kRefuse && Reply(session, reply) && outcome == Outcome::kReply;
    }
  }
  shutdown(session.fd.Get(), SHUT_RDWR);
  session.done = true;
  loop_.Wake();  // to be joined
}

Klf310Server::Outcome Klf310Server::Handle(Session& session, std::span<const std::uint8_t> message,
                                           std::vector<std::uint8_t>& reply) {
  switch (unit_.KlfRequestFault(!session.curvePort)) {
    case SimUnit::KlfFault::kFail:
      return Outcome::kRefuse;  // the connection ends unanswered
    case SimUnit::KlfFault::kLost:
      return Outcome::kLost;  // lost on the way: neither taken nor answered
    case SimUnit::KlfFault::kSilentTaken:
      // Taken, as far as it goes, but the card falls silent before it answers.
      HandleUpdate(session, message, reply);
      return Outcome::kLost;
    case SimUnit::KlfFault::kNone:
      break;
  }
  return session.curvePort ? HandleCurve(session, message, reply)
                           : HandleUpdate(session, message, reply);
}

Klf310Server::Outcome Klf310Server::HandleCurve(Session& session,
                                                std::span<const std::uint8_t> message,
                                                std::vector<std::uint8_t>& reply) {
  const pk::MessageHeader header = pk::MessageHeader::Decode(message);
  const std::uint8_t address = session.card->address;
  if (header.command == pk::command::kReadCurve) {
    if (header.length != pk::CurveRange::kSize) return Outcome::kRefuse;
    const pk::CurveRange range = pk::CurveRange::Decode(message.subspan(pk::MessageHeader::kSize));
    if (!unit_.KlfReadBins(address, range, session.bins)) return Outcome::kRefuse;
    pk::EncodeCurveReplyInto(range, session.bins, reply);
    return Outcome::kReply;
  }
  if (header.command == pk::command::kWriteCurve) {
    pk::CurveRange range;
    std::vector<pk::CurveBin> bins;
    if (header.length != pk::CurveRange::kWritePayloadLength ||
        !pk::DecodeCurveBins(message, range, bins)) {
      return Outcome::kRefuse;
    }
    const bool last = range.flags == pk::CurveRange::kFlagsLast;
    if (!unit_.KlfWriteBins(address, range, bins, last, session.transfer)) {
      return Outcome::kRefuse;
    }
    const auto bare = pk::EncodeBare(header.command);
    reply.assign(bare.begin(), bare.end());
    return Outcome::kReply;
  }
  return Outcome::kRefuse;
}

Klf310Server::Outcome Klf310Server::HandleUpdate(Session& session,
                                                 std::span<const std::uint8_t> message,
                                                 std::vector<std::uint8_t>& reply) {
  std::lock_guard lock(mutex_);
  Card& card = *session.card;
  const pk::MessageHeader header = pk::MessageHeader::Decode(message);
  const auto ack = pk::EncodeBare(header.command);
  reply.assign(ack.begin(), ack.end());
  if (header.command == pk::command::kStartBoot) {
    if (header.length != 0) return Outcome::kRefuse;
    if (card.boot) return Outcome::kReply;
    card.boot = true;
    // The ack goes out once nothing listens any more, so a client that
    // reconnects at once meets the restarting card.
    Restart(card, session);
    return Outcome::kReplyAndEnd;
  }
  // Everything else is the boot software's.
  if (!card.boot) return Outcome::kRefuse;
  switch (header.command) {
    case pk::command::kEraseFlash:
      card.flash.assign(kFlashSize, 0xFF);
      card.erased = true;
      card.ended = false;
      break;
    case pk::command::kWriteBlock: {
      pk::WriteBlock block;
      if (!card.erased || card.ended || !pk::WriteBlock::Decode(message, block)) {
        return Outcome::kRefuse;
      }
      // Whole words, one message's worth, inside the application area.
      const std::size_t count = block.data.size();
      if (count == 0 || count % 4 != 0 || count > pk::WriteBlock::kMaxImageBytes ||
          block.address < pk::CardFlash::kApplicationStart ||
          std::uint64_t{block.address} + count > pk::CardFlash::kApplicationEnd) {
        return Outcome::kRefuse;
      }
      std::copy(block.data.begin(), block.data.end(),
                card.flash.begin() + (block.address - pk::CardFlash::kApplicationStart));
      unit_.KlfBlockTaken();
      break;
    }
    case pk::command::kEndDownload:
      if (!card.erased) return Outcome::kRefuse;
      card.ended = true;
      break;
    case pk::command::kStartSoftware:
      // Without a whole download there is no application to start.
      if (!card.erased || !card.ended) break;
      if (!unit_.KlfStartApplication(card.address, card.flash)) return Outcome::kRefuse;
      card.boot = card.erased = card.ended = false;
      card.flash.clear();
      Restart(card, session);
      return Outcome::kReplyAndEnd;
    default:
      return Outcome::kRefuse;
  }
  return Outcome::kReply;
}

// Straight to the socket from the session's thread. False when the client
// is gone or does not take the reply within the idle limit.
bool Klf310Server::Reply(Session& session, std::span<const std::uint8_t> bytes) {
  const unsigned n = ++replies_;
  const int fd = session.fd.Get();
  if (options_.splitEvery != 0 && n % options_.splitEvery == 0 && bytes.size() > 1) {
    // Cut at a point that moves from reply to reply, inside the header too.
    const std::size_t cut = 1 + (n / options_.splitEvery * 5) % (bytes.size() - 1);
    ++splitReplies_;
    if (!platform::WriteAll(fd, bytes.first(cut), options_.idleLimitMs)) return false;
    if (options_.splitPauseMs != 0) unit_.Clock().Sleep(options_.splitPauseMs);
    return platform::WriteAll(fd, bytes.subspan(cut), options_.idleLimitMs);
  }
  return platform::WriteAll(fd, bytes, options_.idleLimitMs);
}

}  // namespace sim
