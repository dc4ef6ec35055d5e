// The download phase of a host update against the simulator process: blocks
// per second through CDoloThread, as a ratio to bare exchanges per second
// (open, control, close with a 58-byte payload) measured in the same run.
#include <chrono>
#include <cstdio>

#include "../tests/support/SimProcess.h"
#include "desktop/firmware/CDoloThread.h"
#include "desktop/firmware/WorkerMessages.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "platform/UnixDeviceIo.h"

namespace {

namespace fw = desktop::firmware;
using Clock = std::chrono::steady_clock;

// Real time for exchanges, no time for the worker's fixed pauses: only the
// download phase is measured, from the first block to the end command.
class NoPauseClock final : public platform::Clock {
 public:
  std::uint64_t Milliseconds() override { return platform::DefaultClock().Milliseconds(); }
  void Sleep(std::uint32_t) override {}
  std::time_t WallTime() override { return platform::DefaultClock().WallTime(); }
};

// Times the blocks as they leave: from the first WriteDownloadBlock to EndDownload.
class TimedUsb final : public desktop::unitlink::CTiroUSB {
 public:
  using CTiroUSB::CTiroUSB;
  bool WriteDownloadBlock(const std::uint8_t* block) override {
    if (blocks_++ == 0) first_ = Clock::now();
    return CTiroUSB::WriteDownloadBlock(block);
  }
  bool EndDownload() override {
    end_ = Clock::now();
    return CTiroUSB::EndDownload();
  }
  double BlocksPerSecond() const {
    return static_cast<double>(blocks_) / std::chrono::duration<double>(end_ - first_).count();
  }
  long Blocks() const { return blocks_; }

 private:
  long blocks_ = 0;
  Clock::time_point first_, end_;
};

double BareExchangesPerSecond(desktop::unitlink::CTiroUSB& usb, int count) {
  std::uint8_t payload[58] = {};
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    // Command 2 reads a descriptor: an exchange the unit answers in any state.
    if (!usb.SendCommand(nullptr, 2, 0, 0, 0, 0, sizeof payload, payload)) return 0;
  }
  return count / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
  testing_support::TempDir dir;
  testing_support::SimProcess sim(dir.path(), {"--no-state", "--restart-ms", "0"});
  platform::UnixDeviceIo io(dir.path());
  TimedUsb usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  NoPauseClock clock;

  const double bareBefore = BareExchangesPerSecond(usb, 5000);
  platform::QueueTarget queue;
  fw::CDoloThread worker(false, queue, usb, clock);
  worker.Resume();
  bool ok = false;
  for (bool finished = false; !finished;) {
    const auto m = queue.Take(std::chrono::seconds(60));
    if (!m) break;
    if (m->id == fw::WM_WORKER_FINISHED) {
      finished = true;
      ok = m->wParam == 1;
    }
  }
  worker.Join();
  // The unit restarts after the start command; wait for it before measuring again.
  testing_support::WaitFor([&] { return usb.IsDevicePresent(); });
  const double bareAfter = BareExchangesPerSecond(usb, 5000);
  if (!ok || bareBefore <= 0 || bareAfter <= 0) {
    std::printf("benchmark incomplete (update %s)\n", ok ? "succeeded" : "failed");
    return 1;
  }
  const double bare = (bareBefore + bareAfter) / 2;
  std::printf("download phase: %ld blocks at %.0f blocks/s\n", usb.Blocks(), usb.BlocksPerSecond());
  std::printf("bare exchanges: %.0f per second (%.0f before, %.0f after)\n", bare, bareBefore,
              bareAfter);
  std::printf("ratio of the block rate to the bare exchange rate: %.3f (target >= 0.9)\n",
              usb.BlocksPerSecond() / bare);
  return 0;
}
