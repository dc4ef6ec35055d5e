#include "remote/link/PowerEventThread.h"

namespace remote::link {

namespace {
constexpr int kWaitMs = 60000;
}

PowerEventThread::PowerEventThread(platform::Power& power, platform::MessageTarget& view)
    : power_(power), view_(view) {}

PowerEventThread::~PowerEventThread() {
  Stop();
}

void PowerEventThread::Start() {
  if (thread_.joinable()) return;
  stop_ = false;
  thread_ = std::thread([this] {
    while (!stop_) {
      const auto event = power_.WaitEvent(kWaitMs);
      if (!event || stop_) continue;
      view_.Post({*event == platform::PowerEvent::kResumed ? kWmPowerResumed : kWmBatteryChanged,
                  0,
                  {},
                  {}});
    }
  });
}

void PowerEventThread::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  power_.Interrupt();
  thread_.join();
}

}  // namespace remote::link
