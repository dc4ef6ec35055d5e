#include "desktop/roomcorrection/KlfLink.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "desktop/roomcorrection/KlfReplyAssembler.h"
#include "platform/SocketIo.h"
#include "protocol/klf/KlfMessage.h"

namespace desktop::roomcorrection {

namespace pk = protocol::klf;

namespace {

using SteadyClock = std::chrono::steady_clock;

int MillisecondsLeft(SteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Receives one whole reply before the deadline, never reading past it.
bool ReceiveReply(int fd, KlfReplyAssembler& assembler, SteadyClock::time_point deadline) {
  std::uint8_t buffer[pk::MessageHeader::kBufferSize];
  bool first = true;
  while (assembler.GetState() == KlfReplyAssembler::State::kNeedMore) {
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return false;
    // The rest of a reply has mostly arrived with its header: take it without
    // waiting first, and wait only when it has not.
    ssize_t n = first ? -1 : recv(fd, buffer, assembler.Wanted(), MSG_DONTWAIT);
    if (first || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) {
      n = platform::ReceiveWithin(fd, buffer, assembler.Wanted(), left);
    }
    first = false;
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    assembler.Take(std::span(buffer, static_cast<std::size_t>(n)));
  }
  return assembler.GetState() == KlfReplyAssembler::State::kComplete;
}

}  // namespace

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
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(exchangeTimeoutMs_);
  KlfReplyAssembler assembler;
  const bool ok = platform::WriteAll(fd_.Get(), request, exchangeTimeoutMs_) &&
                  ReceiveReply(fd_.Get(), assembler, deadline);
  reply = std::move(assembler.Reply());
  if (!ok) {
    reply.clear();
    CloseLocked();
  }
  return ok;
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
        !pk::DecodeCurveBins(reply, got, bins) || got.count != asked.count ||
        got.firstBin != asked.firstBin) {
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
