#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "desktop/roomcorrection/KlfReplyAssembler.h"
#include "platform/UniqueFd.h"
#include "protocol/klf/CurveBin.h"

namespace desktop::roomcorrection {

// One TCP connection to a KLF310 card: connect to port 4000 or 4010 of its
// IPv4 address, one message out, one whole reply back. Connect and every
// exchange end within their time limits, so a silent card blocks nobody for
// long. A failed exchange closes the connection: the stream may hold the
// rest of a reply nobody asked for.
//
// Each user owns its link (the update worker its own, the page and dialog the
// process-wide one below); a lock makes calls from two threads on one link
// take turns instead of mixing their bytes.
class KlfLink {
 public:
  static constexpr int kConnectTimeoutMs = 3000;
  static constexpr int kExchangeTimeoutMs = 3000;

  KlfLink() = default;
  ~KlfLink();
  KlfLink(const KlfLink&) = delete;
  KlfLink& operator=(const KlfLink&) = delete;

  // True when connected; an open connection is kept as it is.
  bool Connect(const std::string& host, std::uint16_t port);
  void Close();
  bool IsOpen() const;

  // Sends `request` in one call and receives the reply until its header and
  // declared payload have arrived; a reply declaring more than the 1412-byte
  // message buffer fails.
  bool Exchange(std::span<const std::uint8_t> request, std::vector<std::uint8_t>& reply);

  // Bins firstBin .. firstBin + dest.size() - 1 of a channel, 160 per
  // message. A reply whose count or first bin differ from the request fails
  // the transfer; bins received before it stay in `dest`.
  bool ReadCurve(std::uint16_t channel, std::uint16_t firstBin,
                 std::span<protocol::klf::CurveBin> dest);
  // The same split; the last message carries the closing flags.
  bool WriteCurve(std::uint16_t channel, std::uint16_t firstBin,
                  std::span<const protocol::klf::CurveBin> source);

  void SetTimeouts(int connectMs, int exchangeMs);

 private:
  bool ExchangeLocked(std::span<const std::uint8_t> request, std::vector<std::uint8_t>& reply);
  void CloseLocked();
  bool ReceiveReply(KlfReplyAssembler& assembler, std::chrono::steady_clock::time_point deadline);

  mutable std::mutex mutex_;
  platform::UniqueFd fd_;
  int connectTimeoutMs_ = kConnectTimeoutMs;
  int exchangeTimeoutMs_ = kExchangeTimeoutMs;
  KlfReplyAssembler assembler_;
  // The receive wait the socket has now.
  std::chrono::milliseconds receiveLimit_ = std::chrono::milliseconds::max();
};

// The connection the page and its dialog share, with the design's names.
KlfLink& KlfProcessLink();
bool KlfConnect(const std::string& host, std::uint16_t port);
void KlfClose();
bool KlfExchange(std::span<const std::uint8_t> request, std::vector<std::uint8_t>& reply);
bool KlfReadCurve(std::uint16_t channel, std::uint16_t firstBin, std::uint16_t count,
                  std::span<protocol::klf::CurveBin> dest);
bool KlfWriteCurve(std::uint16_t channel, std::uint16_t firstBin, std::uint16_t count,
                   std::span<const protocol::klf::CurveBin> source);

}  // namespace desktop::roomcorrection
