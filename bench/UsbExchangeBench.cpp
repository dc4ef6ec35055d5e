// Exchanges per second through CTiroUSB against the simulator process, as a
// ratio to a raw Unix-socket round trip of the same size in the same run.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <thread>

#include "../tests/support/SimProcess.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/UnixDeviceIo.h"

namespace {

testing_support::TempDir* gDir = nullptr;

// The baseline: request and reply of the device wire's sizes over a connected
// socket pair, answered by a thread that does nothing else.
void BM_RawSocketRoundTrip(benchmark::State& state) {
  int fds[2];
  socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
  std::thread echo([fd = fds[1]] {
    std::uint8_t buf[128];
    while (recv(fd, buf, 18, MSG_WAITALL) == 18) {
      if (send(fd, buf, 72, MSG_NOSIGNAL) != 72) break;
    }
  });
  std::uint8_t request[128] = {}, reply[128];
  for (auto _ : state) {
    send(fds[0], request, 18, MSG_NOSIGNAL);
    recv(fds[0], reply, 72, MSG_WAITALL);
  }
  shutdown(fds[0], SHUT_RDWR);
  echo.join();
  close(fds[0]);
  close(fds[1]);
  state.SetItemsProcessed(state.iterations());
}

// The full path: open, one control call, close, under the transport's lock.
void BM_TiroUsbExchange(benchmark::State& state) {
  platform::UnixDeviceIo io(gDir->path());
  desktop::unitlink::CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  std::uint8_t reply[64];
  for (auto _ : state) {
    if (!usb.SendCommand(reply, 2, 0, 0, 0, 0, 0, nullptr)) state.SkipWithError("exchange failed");
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_RawSocketRoundTrip)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_TiroUsbExchange)->MinTime(1.0)->UseRealTime();

class RateReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> rates;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("items_per_second");
      if (it != run.counters.end()) rates[run.benchmark_name()] = it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing_support::TempDir dir;
  gDir = &dir;
  testing_support::SimProcess sim(dir.path(), {"--no-state"});
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double raw = reporter.rates["BM_RawSocketRoundTrip/min_time:1.000/real_time"];
  const double usb = reporter.rates["BM_TiroUsbExchange/min_time:1.000/real_time"];
  if (raw <= 0 || usb <= 0) {
    std::printf("benchmark incomplete\n");
    return 1;
  }
  std::printf("\nCTiroUSB exchanges per second: %.0f (target >= 10000)\n", usb);
  std::printf("ratio to a raw socket round trip: %.3f (target >= 0.333)\n", usb / raw);
  return 0;
}
