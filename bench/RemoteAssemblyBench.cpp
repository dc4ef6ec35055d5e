// Frame assembly of the remote's stream: bytes per second through the
// assembler (valid frames, broken CRCs, overlong frames and noise), as a ratio
// to the fastest Bluetooth serial link (3 Mbit/s), and against a plain copy of
// the same bytes measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "protocol/remote/FrameAssembler.h"
#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"

namespace {

constexpr double kLinkBytesPerSecond = 3'000'000.0 / 8.0;
constexpr std::size_t kChunk = 990;  // a typical RFCOMM read

const std::vector<std::uint8_t>& Stream() {
  static const std::vector<std::uint8_t> stream = [] {
    std::mt19937 random(520);
    std::vector<std::uint8_t> out;
    while (out.size() < (1u << 20)) {
      protocol::remote::RemoteFrame frame;
      frame.command = static_cast<std::uint16_t>(random() % 64);
      frame.payload.resize(random() % 3 == 0 ? 772 : random() % 60);
      for (auto& b : frame.payload) b = static_cast<std::uint8_t>(random());
      auto bytes = frame.Encode();
      switch (random() % 6) {
        case 0:  // broken CRC
          bytes.back() ^= 0x5A;
          break;
        case 1: {  // noise between frames, with stray magic bytes
          std::vector<std::uint8_t> noise(random() % 40);
          for (auto& b : noise) b = random() % 4 == 0 ? 0x90 : static_cast<std::uint8_t>(random());
          out.insert(out.end(), noise.begin(), noise.end());
          break;
        }
        case 2:  // a length past the buffer: closes at 784 bytes
          bytes[protocol::remote::kOffLength + 1] = 0x7F;
          break;
        default:
          break;
      }
      out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
  }();
  return stream;
}

void BM_PlainCopy(benchmark::State& state) {
  const auto& stream = Stream();
  std::vector<std::uint8_t> sink(kChunk);
  for (auto _ : state) {
    for (std::size_t at = 0; at < stream.size(); at += kChunk) {
      const std::size_t n = std::min(kChunk, stream.size() - at);
      std::memcpy(sink.data(), stream.data() + at, n);
      benchmark::DoNotOptimize(sink.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}

void BM_FrameAssembly(benchmark::State& state) {
  const auto& stream = Stream();
  protocol::remote::FrameAssembler assembler;
  std::size_t frames = 0;
  for (auto _ : state) {
    for (std::size_t at = 0; at < stream.size(); at += kChunk) {
      const std::size_t n = std::min(kChunk, stream.size() - at);
      assembler.Feed(std::span(stream.data() + at, n), 0,
                     [&](std::span<const std::uint8_t> frame) { frames += frame.size() != 0; });
    }
  }
  benchmark::DoNotOptimize(frames);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}

BENCHMARK(BM_PlainCopy)->MinTime(1.0);
BENCHMARK(BM_FrameAssembly)->MinTime(1.0);

class RateReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> rates;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) rates[run.benchmark_name()] = it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double copy = reporter.rates["BM_PlainCopy/min_time:1.000"];
  const double assembly = reporter.rates["BM_FrameAssembly/min_time:1.000"];
  if (copy <= 0 || assembly <= 0) {
    std::printf("benchmark incomplete\n");
    return 1;
  }
  std::printf("\nframe assembly: %.1f MB/s; a plain copy of the same chunks: %.1f MB/s (%.4f)\n",
              assembly / 1e6, copy / 1e6, assembly / copy);
  std::printf("ratio to a 3 Mbit/s Bluetooth serial link: %.0f (target >= 100)\n",
              assembly / kLinkBytesPerSecond);
  return 0;
}
