#pragma once

#include <algorithm>
#include <array>
#include <vector>

#include "desktop/roomcorrection/KlfCurveTransport.h"
#include "protocol/klf/CurveBin.h"

namespace desktop::roomcorrection {

// A KLF310 card's sixteen curves held in memory behind the page's transport:
// counts every read and write and can be told to fail, as an unplugged cable
// or a transfer that breaks off half way would.
class InMemoryCurves {
 public:
  static constexpr int kChannels = 16;
  static constexpr int kBins = protocol::klf::CurveBin::kBinCount;

  InMemoryCurves() {
    for (auto& c : curves) c.assign(kBins, protocol::klf::CurveBin{});
    transport.read = [this](int channel, std::span<protocol::klf::CurveBin> out) {
      ++reads;
      if (channel < 0 || channel >= kChannels) return false;
      const auto& curve = curves[static_cast<std::size_t>(channel)];
      // A broken transfer still leaves the bins it got in the caller's buffer.
      const std::size_t n = failing ? out.size() / 2 : std::min(out.size(), curve.size());
      std::copy_n(curve.begin(), n, out.begin());
      return !failing;
    };
    transport.write = [this](int channel, std::span<const protocol::klf::CurveBin> in) {
      ++writes;
      if (failing || channel < 0 || channel >= kChannels) return false;
      curves[static_cast<std::size_t>(channel)].assign(in.begin(), in.end());
      return true;
    };
  }

  KlfCurveTransport transport;
  std::array<std::vector<protocol::klf::CurveBin>, kChannels> curves;
  bool failing = false;
  int reads = 0;
  int writes = 0;
};

}  // namespace desktop::roomcorrection
