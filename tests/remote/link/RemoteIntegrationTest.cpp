// The remote's link against the real simulator process over the simulated stack.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "LinkFixture.h"
#include "platform/SimBluetoothWire.h"
#include "protocol/remote/RemoteProtocol.h"

namespace remote::link {
namespace {

using testing_support::SimProcess;
using testing_support::TempDir;

TEST(RemoteIntegrationTest, PollsChangesLosesAndRegainsTheUnit) {
  TempDir dir;
  auto sim = std::make_unique<SimProcess>(dir.path(), std::vector<std::string>{"--no-state"});
  ASSERT_TRUE(sim->Running());
  RemoteSide remote(dir.path() / "bluetooth");
  std::vector<platform::BtDeviceInfo> found;
  ASSERT_TRUE(remote.PumpUntil([&] {
    std::string error;
    found.clear();
    remote.bluetooth.Inquiry(
        [&](const platform::BtDeviceInfo& d) {
          found.push_back(d);
          return true;
        },
        error);
    return !found.empty();
  }));
  EXPECT_EQ(found[0].name, "Valdur MRX520-1234");

  remote.Connect(found[0].address);
  ASSERT_TRUE(remote.PumpUntil([&] { return remote.Complete(); }));
  EXPECT_EQ(remote.state.Info().serialNumber, 1234);
  EXPECT_GT(remote.state.Sources().size(), 10u);

  // Volume and power: the unit's record 31 comes back with the new state.
  ASSERT_TRUE(remote.state.SetVolume(-451));
  ASSERT_TRUE(remote.state.TogglePower());
  const bool powerNow = remote.state.Status().PowerOn();
  remote.state.Reset();  // forget what we wrote ourselves: only the unit's word counts
  // Records 31 pushed between the two orders may show only the first.
  EXPECT_TRUE(remote.PumpUntil([&] {
    return remote.state.HaveStatus() && remote.state.Status().volume == -450 &&
           remote.state.Status().PowerOn() == powerNow;
  }));
  EXPECT_FALSE(powerNow);

  // The unit goes away: the reader keeps trying, and connects again when it returns.
  sim->Stop(SIGKILL);
  ASSERT_TRUE(remote.PumpUntil([&] { return !remote.link.IsConnected(); }));
  EXPECT_TRUE(remote.link.IsOpen()) << "a lost stream is not a closed link";
  sim = std::make_unique<SimProcess>(dir.path(), std::vector<std::string>{"--no-state"});
  ASSERT_TRUE(
      remote.PumpUntil([&] { return remote.link.Connections() == 2 && remote.Complete(); }));
  EXPECT_EQ(remote.state.Status().volume, -300) << "a fresh unit, polled afresh";
}

// The stream faults reach the simulator as a scenario's keys and as options.
TEST(RemoteIntegrationTest, ReachesTheUnitThroughAMisbehavingStream) {
  TempDir dir;
  const auto scenario = dir.path() / "small.scenario";
  {
    std::ofstream out(scenario);
    out << "unit serial=4321\nfaults stream-crc-every=5 stream-delay-ms=40\n";
  }
  // The refusal lasts well past the first connect below, which follows the
  // module's registration at once; the remote then waits it out.
  SimProcess sim(dir.path(),
                 {"--no-state", "--scenario", scenario.string(), "--stream-refuse-ms", "3000"});
  ASSERT_TRUE(sim.Running());
  const auto address = platform::BtAddress{0xC2000000u | 4321, 0x0050};
  // The device socket is up before the Bluetooth module registers: wait for both.
  ASSERT_TRUE(testing_support::WaitFor([&] {
    return std::filesystem::exists(platform::simbt::SocketPath(dir.path() / "bluetooth", address));
  }));

  // The first connection is refused by the unit's module, not by a missing device.
  platform::SimBluetooth bluetooth(dir.path() / "bluetooth");
  std::string error;
  const int refused = bluetooth.Connect(address, protocol::remote::kServiceHardware, -1, error);
  EXPECT_LT(refused, 0);
  EXPECT_EQ(error, "REFUSED connection refused");

  RemoteSide remote(dir.path() / "bluetooth");
  remote.Connect(address);
  ASSERT_TRUE(remote.PumpUntil([&] { return remote.Complete(); }, std::chrono::seconds(40)));
  EXPECT_EQ(remote.state.Info().serialNumber, 4321);
  EXPECT_EQ(remote.state.FirstName(false, 0, 0), "CD");
  ASSERT_TRUE(remote.state.SetVolume(-200));
  remote.state.Reset();
  remote.state.StartPolling();
  EXPECT_TRUE(remote.PumpUntil(
      [&] { return remote.state.HaveStatus() && remote.state.Status().volume == -200; },
      std::chrono::seconds(30)));
}

}  // namespace
}  // namespace remote::link
