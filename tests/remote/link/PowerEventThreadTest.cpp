#include <gtest/gtest.h>

#include "remote/link/PowerEventThread.h"

namespace remote::link {
namespace {

TEST(PowerEventThreadTest, TellsTheViewOfAWakeUpAndOfTheBatteryAndStopsAtOnce) {
  platform::InjectedPower power;
  platform::QueueTarget view;
  PowerEventThread thread(power, view);
  thread.Start();
  power.Inject(platform::PowerEvent::kResumed);
  power.Inject(platform::PowerEvent::kStatusChanged);
  std::vector<std::uint32_t> ids;
  while (ids.size() < 2 && view.WaitForMessage(5000)) {
    view.Drain([&](const platform::Message& m) { ids.push_back(m.id); });
  }
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{kWmPowerResumed, kWmBatteryChanged}));
  thread.Stop();  // waits a minute for events unless interrupted
}

}  // namespace
}  // namespace remote::link
