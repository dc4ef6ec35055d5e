// A QVO520 processor download against the simulator process: blocks per
// second through the card download worker, as a ratio to bare exchanges per
// second of the same frame size (open, control, close with 28 data bytes)
// measured in the same run.
#include <chrono>
#include <cstdio>

#include "../tests/support/SimProcess.h"
#include "desktop/firmware/CCardDoloThread.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/Clock.h"
#include "platform/MessageTarget.h"
#include "platform/UnixDeviceIo.h"
#include "protocol/unit/DownloadBlock.h"
#include "protocol/unit/ProcessorRecord.h"

namespace {

namespace fw = desktop::firmware;
namespace pu = protocol::unit;
using Clock = std::chrono::steady_clock;
constexpr std::uint8_t kCard = 2;  // the demo unit's QVO520

// Times the blocks as they leave: from the first block to the end command.
class TimedUsb final : public desktop::unitlink::CTiroUSB {
 public:
  using CTiroUSB::CTiroUSB;
  bool WriteCardBlock(std::uint8_t module, std::uint8_t index, const std::uint8_t* block) override {
    if (blocks_++ == 0) first_ = Clock::now();
    return CTiroUSB::WriteCardBlock(module, index, block);
  }
  bool EndCardDownload(std::uint8_t module, std::uint8_t index) override {
    end_ = Clock::now();
    return CTiroUSB::EndCardDownload(module, index);
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
  std::uint8_t payload[pu::DownloadBlock::kHeaderSize + pu::DownloadBlock::kMaxCardData] = {};
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    // Command 2 reads a descriptor: an exchange the unit always answers.
    if (!usb.SendCommand(nullptr, 2, 0, 0, 0, 0, sizeof payload, payload)) return 0;
  }
  return count / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
  testing_support::TempDir dir;
  testing_support::SimProcess sim(dir.path(), {"--no-state"});
  platform::UnixDeviceIo io(dir.path());
  TimedUsb usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");

  std::uint8_t record[pu::ProcessorRecord::kSize] = {};
  if (!usb.ReadProcessorRecord(kCard, 0, record)) {
    std::printf("benchmark incomplete (no processor record)\n");
    return 1;
  }
  const double bareBefore = BareExchangesPerSecond(usb, 5000);
  platform::QueueTarget queue;
  fw::CCardDoloThread worker(kCard, 0, pu::ProcessorRecord::Decode(record), queue, usb,
                             platform::DefaultClock());
  worker.Resume();
  bool ok = false;
  for (bool finished = false; !finished;) {
    const auto m = queue.Take(std::chrono::seconds(60));
    if (!m) break;
    if (m->id == fw::WM_CARD_DOWNLOAD_FINISHED) {
      finished = true;
      ok = m->wParam == fw::CCardDoloThread::kSuccess;
    }
  }
  worker.Join();
  const double bareAfter = BareExchangesPerSecond(usb, 5000);
  if (!ok || bareBefore <= 0 || bareAfter <= 0) {
    std::printf("benchmark incomplete (download %s)\n", ok ? "succeeded" : "failed");
    return 1;
  }
  const double bare = (bareBefore + bareAfter) / 2;
  std::printf("card download: %ld blocks at %.0f blocks/s\n", usb.Blocks(), usb.BlocksPerSecond());
  std::printf("bare exchanges: %.0f per second (%.0f before, %.0f after)\n", bare, bareBefore,
              bareAfter);
  std::printf("ratio of the block rate to the bare exchange rate: %.3f (target >= 0.9)\n",
              usb.BlocksPerSecond() / bare);
  return 0;
}
