#include "desktop/roomcorrection/KlfCurveRetry.h"

#include <algorithm>

#include "protocol/klf/KlfMessage.h"

namespace desktop::roomcorrection {

namespace pk = protocol::klf;

namespace {

template <typename Exchange>
bool Asked(Exchange exchange) {
  for (int attempt = 0; attempt < kCurveAttempts; ++attempt) {
    if (exchange()) return true;
  }
  return false;
}

}  // namespace

bool ConnectCurvePort(KlfLink& link, const std::string& host, platform::Clock& clock,
                      const std::function<bool()>& waiting) {
  for (std::uint32_t waited = 0;; waited += kCurvePortRetryMs) {
    if (link.Connect(host, pk::kCurvePort)) return true;
    if (waited >= kCurvePortWaitMs || (waiting && !waiting())) return false;
    clock.Sleep(kCurvePortRetryMs);
  }
}

bool ReadCurveAsked(KlfLink& link, const std::string& host, std::uint16_t channel,
                    std::span<pk::CurveBin> bins) {
  for (std::size_t first = 0; first < bins.size(); first += pk::CurveRange::kMaxBins) {
    const auto part = bins.subspan(first, std::min(pk::CurveRange::kMaxBins, bins.size() - first));
    if (!Asked([&] {
          return link.Connect(host, pk::kCurvePort) &&
                 link.ReadCurve(channel, static_cast<std::uint16_t>(first), part);
        })) {
      return false;
    }
  }
  return true;
}

bool WriteCurveAsked(KlfLink& link, const std::string& host, std::uint16_t channel,
                     std::span<const pk::CurveBin> bins) {
  return Asked(
      [&] { return link.Connect(host, pk::kCurvePort) && link.WriteCurve(channel, 0, bins); });
}

}  // namespace desktop::roomcorrection
