// The remote's link against a unit simulated in this process whose stream
// misbehaves: each fault is switched on, shown to have acted, and the remote
// still ends with the unit's true state.
#include <gtest/gtest.h>

#include <functional>

#include "LinkFixture.h"
#include "protocol/remote/StatusRecord.h"
#include "protocol/remote/UnitInfoRecord.h"
#include "sim/BluetoothRegistration.h"
#include "sim/RemoteStreamServer.h"
#include "sim/SimUnit.h"

namespace remote::link {
namespace {

using Counts = sim::RemoteStreamServer::FaultCounts;

// The main unit alone: a listing of four frames (forget all, the unit, its CD
// source, the count), so a fault every few frames still lets one through.
sim::Scenario SmallUnit() {
  std::string error;
  auto scenario = sim::ParseScenario("unit serial=1234 version=2.105\n", error);
  EXPECT_TRUE(scenario) << error;
  return *scenario;
}

struct FaultCase {
  const char* name;
  sim::StreamFaults faults;
  // How many times the fault must have acted before it is switched off again;
  // 0 = it stays on to the end.
  unsigned switchOffAfter;
  std::function<unsigned(const Counts&)> acted;
};

std::vector<FaultCase> FaultCases() {
  sim::StreamFaults lost, broken, refusedEvery, refusedForATime, dropped, delayed;
  lost.lostEvery = 5;
  broken.crcEvery = 5;
  refusedEvery.refuseEvery = 1;
  refusedForATime.refuseMs = 1200;
  dropped.dropEvery = 1;
  delayed.delayMs = 350;  // longer than the status poll: requests pile up
  return {
      {"LostFrames", lost, 0, [](const Counts& c) { return c.lost; }},
      {"BrokenCrcs", broken, 0, [](const Counts& c) { return c.broken; }},
      {"RefusedConnections", refusedEvery, 2, [](const Counts& c) { return c.refused; }},
      {"RefusedForATime", refusedForATime, 0, [](const Counts& c) { return c.refused; }},
      {"DroppedRightAfterConnecting", dropped, 3, [](const Counts& c) { return c.dropped; }},
      {"DelayedAnswers", delayed, 0, [](const Counts& c) { return c.delayed; }},
  };
}

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name;
}

class StreamFaultTest : public ::testing::TestWithParam<FaultCase> {};

// One row per fault, so a failure names it and the rows run side by side.
TEST_P(StreamFaultTest, TheRemoteReachesTheUnitsStateUnderEachFault) {
  const FaultCase& c = GetParam();
  testing_support::TempDir dir;
  sim::SimUnit unit(SmallUnit(), platform::DefaultClock());
  sim::RemoteStreamServer stream(unit, c.faults);
  sim::BluetoothRegistration module(sim::BluetoothRegistration::AddressForSerial(1234),
                                    sim::BluetoothRegistration::NameForSerial(1234),
                                    dir.path() / "bluetooth", stream);
  std::string error;
  ASSERT_TRUE(module.Start(error)) << error;

  RemoteSide remote(dir.path() / "bluetooth");
  remote.Connect(module.Address());
  if (c.switchOffAfter != 0) {
    ASSERT_TRUE(remote.PumpUntil([&] { return c.acted(stream.Counts()) >= c.switchOffAfter; }));
    stream.SetFaults({});
  }
  ASSERT_TRUE(remote.PumpUntil([&] { return remote.Complete(); }, std::chrono::seconds(30)));
  EXPECT_GT(c.acted(stream.Counts()), 0u) << "the fault never acted";

  EXPECT_EQ(remote.state.Info().serialNumber, 1234);
  EXPECT_EQ(remote.state.Info().inputMasks,
            protocol::remote::UnitInfoRecord::Decode(unit.RemoteInfo()).inputMasks);
  ASSERT_EQ(remote.state.Modules().size(), 1u);
  EXPECT_EQ(remote.state.FirstName(true, 0, 0xFF), "MRX520");
  ASSERT_EQ(remote.state.Sources().size(), 1u);
  EXPECT_EQ(remote.state.FirstName(false, 0, 0), "CD");
  // An order goes through and the unit's own report of it comes back.
  ASSERT_TRUE(remote.state.SetVolume(-455));
  remote.state.Reset();
  remote.state.StartPolling();
  EXPECT_TRUE(remote.PumpUntil(
      [&] { return remote.state.HaveStatus() && remote.state.Status().volume == -455; },
      std::chrono::seconds(30)));
  EXPECT_EQ(protocol::remote::StatusRecord::Decode(unit.RemoteStatus()).volume, -455);

  remote.link.Close();
  module.Stop();
  stream.Stop();
}

INSTANTIATE_TEST_SUITE_P(Faults, StreamFaultTest, ::testing::ValuesIn(FaultCases()),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace remote::link
