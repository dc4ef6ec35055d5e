#pragma once

#include <atomic>
#include <thread>

#include "platform/MessageTarget.h"
#include "platform/Power.h"
#include "remote/link/RemoteMessages.h"

namespace remote::link {

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
