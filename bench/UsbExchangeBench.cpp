// Exchanges per second through CTiroUSB against the simulator process, as a
// ratio to a raw Unix-socket round trip of the same size. The two are measured
// in short turns, one right after the other, and the median of the turns'
// ratios is the figure: a load that comes and goes on the machine then weighs
// on both sides of a ratio instead of on one run.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "../tests/support/SimProcess.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/UnixDeviceIo.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPairs = 15;
constexpr auto kTurn = std::chrono::milliseconds(300);

// Runs `exchange` for one turn; exchanges per second, or -1 when one failed.
template <typename Exchange>
double Rate(Exchange&& exchange) {
  const auto start = Clock::now();
  const auto end = start + kTurn;
  long count = 0;
  auto now = start;
  while (now < end) {
    for (int i = 0; i < 64; ++i) {
      if (!exchange()) return -1;
    }
    count += 64;
    now = Clock::now();
  }
  return static_cast<double>(count) / std::chrono::duration<double>(now - start).count();
}

// The baseline: request and reply of the device wire's sizes over a connected
// socket pair, answered by a thread that does nothing else.
class RawLoop {
 public:
  RawLoop() {
    socketpair(AF_UNIX, SOCK_STREAM, 0, fds_);
    echo_ = std::thread([fd = fds_[1]] {
      std::uint8_t buf[128];
      while (recv(fd, buf, 18, MSG_WAITALL) == 18) {
        if (send(fd, buf, 72, MSG_NOSIGNAL) != 72) break;
      }
    });
  }
  ~RawLoop() {
    shutdown(fds_[0], SHUT_RDWR);
    echo_.join();
    close(fds_[0]);
    close(fds_[1]);
  }
  bool Exchange() {
    return send(fds_[0], request_, 18, MSG_NOSIGNAL) == 18 &&
           recv(fds_[0], reply_, 72, MSG_WAITALL) == 72;
  }

 private:
  int fds_[2] = {-1, -1};
  std::thread echo_;
  std::uint8_t request_[128] = {};
  std::uint8_t reply_[128] = {};
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  testing_support::TempDir dir;
  testing_support::SimProcess sim(dir.path(), {"--no-state"});
  if (!sim.Running()) {
    std::printf("the simulator did not start\n");
    return 1;
  }
  // The full path: open, one control call, close, under the transport's lock.
  platform::UnixDeviceIo io(dir.path());
  desktop::unitlink::CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  std::uint8_t reply[64];
  const auto tiro = [&] { return usb.SendCommand(reply, 2, 0, 0, 0, 0, 0, nullptr); };
  RawLoop raw;
  const auto bare = [&] { return raw.Exchange(); };

  Rate(tiro);  // warm-up: first connections, page faults
  Rate(bare);
  std::vector<double> ratios, tiroRates, rawRates;
  for (int i = 0; i < kPairs; ++i) {
    // Alternate which side goes first, so neither always follows the other.
    const double a = i % 2 == 0 ? Rate(tiro) : 0;
    const double b = Rate(bare);
    const double t = i % 2 == 0 ? a : Rate(tiro);
    if (t <= 0 || b <= 0) {
      std::printf("an exchange failed\n");
      return 1;
    }
    tiroRates.push_back(t);
    rawRates.push_back(b);
    ratios.push_back(t / b);
    std::printf("turn %2d: CTiroUSB %7.0f/s, raw %7.0f/s, ratio %.3f\n", i + 1, t, b, t / b);
  }
  const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
  std::printf("\nCTiroUSB exchanges per second: %.0f median (target >= 10000)\n",
              Median(tiroRates));
  std::printf("raw socket round trips per second: %.0f median\n", Median(rawRates));
  std::printf(
      "ratio to a raw socket round trip: %.3f median of %d turns, %.3f to %.3f (target >= "
      "0.333)\n",
      Median(ratios), kPairs, *low, *high);
  return 0;
}
