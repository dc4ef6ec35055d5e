#pragma once

#include <atomic>
#include <thread>

#include "platform/MessageTarget.h"
#include "platform/Power.h"

namespace remote::link {

// Messages to the view: rebuild the link after a wake-up, redraw the battery.
inline constexpr std::uint32_t kWmPowerResumed = 0x610;
inline constexpr std::uint32_t kWmBatteryChanged = 0x611;

// Runs for the remote's whole life: after the handheld wakes from suspend the
// view drops and rebuilds the link; a change of battery or power source
// redraws the gauge. The view does both on its own thread when the message comes.
class PowerEventThread {
 public:
  PowerEventThread(platform::Power& power, platform::MessageTarget& view);
  ~PowerEventThread();
  PowerEventThread(const PowerEventThread&) = delete;
  PowerEventThread& operator=(const PowerEventThread&) = delete;

  void Start();
  void Stop();

 private:
  platform::Power& power_;
  platform::MessageTarget& view_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace remote::link
