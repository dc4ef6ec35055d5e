#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "desktop/unitlink/CTiroUSB.h"

namespace desktop::unitlink {
namespace {

// A device whose control call blocks until the test lets it finish, so an
// exchange can be held in progress.
class HeldDeviceIo final : public platform::DeviceIo {
 public:
  Handle Open(std::string_view) override { return 3; }
  bool Control(Handle, std::uint32_t, std::span<const std::uint8_t>, std::span<std::uint8_t>,
               std::uint32_t*) override {
    std::unique_lock lock(mutex_);
    inControl_ = true;
    changed_.notify_all();
    // Bounded, so a fault in the code under test cannot hang the run.
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return released_; });
    return true;
  }
  void Close(Handle) override {}

  bool WaitInControl() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return inControl_; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool inControl_ = false;
  bool released_ = false;
};

TEST(CTiroUSBPresenceTest, AnswersWhileAnotherThreadsExchangeHoldsTheTransport) {
  HeldDeviceIo io;
  CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  std::thread exchange([&] { usb.SendCommand(nullptr, 2, 0, 0, 0, 0, 0, nullptr); });
  ASSERT_TRUE(io.WaitInControl());

  auto present = std::async(std::launch::async, [&] { return usb.IsDevicePresent(); });
  const bool answered = present.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  io.Release();
  exchange.join();
  EXPECT_TRUE(answered) << "the presence test waited for the exchange's lock";
  EXPECT_TRUE(present.get());
}

}  // namespace
}  // namespace desktop::unitlink
