#include "desktop/roomcorrection/KlfLink.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>

#include "desktop/roomcorrection/KlfReplyAssembler.h"
#include "platform/SocketIo.h"
#include "protocol/klf/KlfMessage.h"

namespace desktop::roomcorrection {

namespace pk = protocol::klf;

namespace {

// A socket's receive wait is counted by the kernel's timer wheel, which may
// end a wait up to a tick late, or an eighth late for long ones; the wait is
// set short of what is left by both, so it never ends past the deadline.
constexpr auto kTickSlack = std::chrono::milliseconds(10);

timeval ToTimeval(std::chrono::milliseconds d) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(d.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>(d.count() % 1000 * 1000);
  return tv;
}

}  // namespace

// The receive itself waits, so a reply on its way costs one call and one
// wake-up, as on a plain blocking socket. Its wait is the socket's receive
// limit, lowered whenever it could reach past the deadline; over a run of
// exchanges it stays as first set and costs nothing.
bool KlfLink::ReceiveReply(KlfReplyAssembler& assembler,
                           std::chrono::steady_clock::time_point deadline) {
  std::array<std::uint8_t, pk::MessageHeader::kBufferSize> buffer;
  for (;;) {
    const auto room = deadline - std::chrono::steady_clock::now() - kTickSlack;
    const auto limit = std::chrono::floor<std::chrono::milliseconds>(room * 7 / 8);
    if (limit < std::chrono::milliseconds(1)) return false;
    if (receiveLimit_ > limit) {
      const timeval tv = ToTimeval(limit);
      if (setsockopt(fd_.Get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return false;
      receiveLimit_ = limit;
    }
    // Up to the whole buffer: the card answers the one request outstanding
    // and nothing else, so what is there belongs to this reply and no later
    // one can be queued behind it.
    const ssize_t n = recv(fd_.Get(), buffer.data(), buffer.size(), 0);
    // EAGAIN: the socket's wait ran out; the deadline decides.
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n <= 0) return false;
    // The assembler takes the header, then the body the header declares.
    std::span<const std::uint8_t> rest = std::span(buffer).first(static_cast<std::size_t>(n));
    while (!rest.empty() && assembler.GetState() == KlfReplyAssembler::State::kNeedMore) {
      rest = rest.subspan(assembler.Take(rest));
    }
    if (assembler.GetState() == KlfReplyAssembler::State::kNeedMore) continue;
    // Bytes behind a whole reply were never asked for: the stream is out of
    // step, and the next exchange must not take them for its answer.
    return assembler.GetState() == KlfReplyAssembler::State::kComplete && rest.empty();
  }
}

KlfLink::~KlfLink() {
  Close();
}

bool KlfLink::Connect(const std::string& host, std::uint16_t port) {
  std::lock_guard lock(mutex_);
  if (fd_) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* results = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &results) != 0) return false;
  for (const addrinfo* a = results; a != nullptr; a = a->ai_next) {
    platform::UniqueFd fd(socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
    if (!fd) break;
    if (!platform::ConnectWithin(fd.Get(), a->ai_addr, a->ai_addrlen, connectTimeoutMs_)) continue;
    // One message is one send: no waiting for more bytes to fill a segment.
    const int on = 1;
    setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fd_ = std::move(fd);
    receiveLimit_ = std::chrono::milliseconds::max();  // none yet: the first wait sets it
    break;
  }
  freeaddrinfo(results);
  return static_cast<bool>(fd_);
}

void KlfLink::Close() {
  std::lock_guard lock(mutex_);
  CloseLocked();
}

void KlfLink::CloseLocked() {
  if (!fd_) return;
  shutdown(fd_.Get(), SHUT_WR);
  fd_.Reset();
}

bool KlfLink::IsOpen() const {
  std::lock_guard lock(mutex_);
  return static_cast<bool>(fd_);
}

void KlfLink::SetTimeouts(int connectMs, int exchangeMs) {
  std::lock_guard lock(mutex_);
  connectTimeoutMs_ = connectMs;
  exchangeTimeoutMs_ = exchangeMs;
}

bool KlfLink::Exchange(std::span<const std::uint8_t> request, std::vector<std::uint8_t>& reply) {
  std::lock_guard lock(mutex_);
  return ExchangeLocked(request, reply);
}

bool KlfLink::ExchangeLocked(std::span<const std::uint8_t> request,
                             std::vector<std::uint8_t>& reply) {
  if (!fd_) return false;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(exchangeTimeoutMs_);
  assembler_.Reset();
  const bool ok = platform::WriteAll(fd_.Get(), request, exchangeTimeoutMs_) &&
                  ReceiveReply(assembler_, deadline);
  if (!ok) {
    reply.clear();
    CloseLocked();
    return false;
  }
  // Copied, so both buffers keep their room for the next exchanges.
  reply.assign(assembler_.Reply().begin(), assembler_.Reply().end());
  return true;
}

bool KlfLink::ReadCurve(std::uint16_t channel, std::uint16_t firstBin,
                        std::span<pk::CurveBin> dest) {
  std::lock_guard lock(mutex_);
  std::vector<std::uint8_t> reply;
  std::vector<pk::CurveBin> bins;
  for (std::size_t done = 0; done < dest.size();) {
    const auto count =
        static_cast<std::uint16_t>(std::min(dest.size() - done, pk::CurveRange::kMaxBins));
    const pk::CurveRange asked{channel, count, static_cast<std::uint16_t>(firstBin + done), 0};
    if (!ExchangeLocked(pk::EncodeReadCurve(asked), reply)) return false;
    pk::CurveRange got;
    if (pk::MessageHeader::Decode(reply).command != pk::command::kReadCurve ||
        !pk::DecodeCurveBins(reply, got, bins) || got.channel != asked.channel ||
        got.count != asked.count || got.firstBin != asked.firstBin) {
      CloseLocked();
      return false;
    }
    std::copy(bins.begin(), bins.end(), dest.begin() + static_cast<std::ptrdiff_t>(done));
    done += count;
  }
  return true;
}

bool KlfLink::WriteCurve(std::uint16_t channel, std::uint16_t firstBin,
                         std::span<const pk::CurveBin> source) {
  std::lock_guard lock(mutex_);
  std::vector<std::uint8_t> reply;
  for (std::size_t done = 0; done < source.size();) {
    const auto count =
        static_cast<std::uint16_t>(std::min(source.size() - done, pk::CurveRange::kMaxBins));
    const bool last = done + count == source.size();
    const pk::CurveRange range{channel, count, static_cast<std::uint16_t>(firstBin + done),
                               last ? pk::CurveRange::kFlagsLast : pk::CurveRange::kFlagsMore};
    if (!ExchangeLocked(pk::EncodeWriteCurve(range, source.subspan(done, count)), reply))
      return false;
    // Only the card's acknowledgement of this command counts as taken.
    if (pk::MessageHeader::Decode(reply).command != pk::command::kWriteCurve) {
      CloseLocked();
      return false;
    }
    done += count;
  }
  return true;
}

KlfLink& KlfProcessLink() {
  static KlfLink link;
  return link;
}

bool KlfConnect(const std::string& host, std::uint16_t port) {
  return KlfProcessLink().Connect(host, port);
}

void KlfClose() {
  KlfProcessLink().Close();
}

bool KlfExchange(std::span<const std::uint8_t> request, std::vector<std::uint8_t>& reply) {
  return KlfProcessLink().Exchange(request, reply);
}

bool KlfReadCurve(std::uint16_t channel, std::uint16_t firstBin, std::uint16_t count,
                  std::span<pk::CurveBin> dest) {
  if (dest.size() < count) return false;
  return KlfProcessLink().ReadCurve(channel, firstBin, dest.first(count));
}

bool KlfWriteCurve(std::uint16_t channel, std::uint16_t firstBin, std::uint16_t count,
                   std::span<const pk::CurveBin> source) {
  if (source.size() < count) return false;
  return KlfProcessLink().WriteCurve(channel, firstBin, source.first(count));
}

}  // namespace desktop::roomcorrection
