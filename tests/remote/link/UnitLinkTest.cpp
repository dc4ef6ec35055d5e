#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "LinkFixture.h"
#include "ScriptedBluetooth.h"
#include "platform/SimBluetoothWire.h"
#include "protocol/remote/RemoteProtocol.h"
#include "protocol/remote/StatusRecord.h"
#include "remote/link/ModuleConfigSequence.h"
#include "remote/link/ReconnectPause.h"
#include "remote/link/RemoteMessages.h"
#include "remote/link/UnitLink.h"
#include "sim/BluetoothRegistration.h"
#include "sim/RemoteStreamServer.h"
#include "sim/SimUnit.h"

namespace remote::link {
namespace {

using namespace protocol::remote;

using testing_support::TempDir;
using testing_support::WaitFor;

// A unit simulated in this process, registered with the simulated stack.
class UnitLinkTest : public ::testing::Test {
 protected:
  UnitLinkTest()
      : unit(sim::DefaultScenario(), platform::DefaultClock()),
        stream(unit),
        module(sim::BluetoothRegistration::AddressForSerial(1234),
               sim::BluetoothRegistration::NameForSerial(1234), BtDir(), stream) {
    stream.SetModule(&module);
    std::string error;
    EXPECT_TRUE(module.Start(error)) << error;
  }
  ~UnitLinkTest() override {
    module.Stop();
    stream.Stop();
  }
  std::filesystem::path BtDir() const { return dir.path() / "bluetooth"; }

  TempDir dir;
  sim::SimUnit unit;
  sim::RemoteStreamServer stream;
  sim::BluetoothRegistration module;
};

TEST_F(UnitLinkTest, ADisabledReaderWaitsUntilEnabledAndCloseEndsIt) {
  RemoteSide remote(BtDir());
  remote.link.SetUnit(module.Address(), "Unit", "COM-HARDWARE");
  ASSERT_TRUE(remote.link.Start(&remote.window, false));
  EXPECT_TRUE(remote.link.IsOpen());
  EXPECT_FALSE(remote.link.IsConnected());
  EXPECT_FALSE(remote.link.SendBare(kReqStatus)) << "nothing to send on";
  remote.link.SetEnabled(true);
  ASSERT_TRUE(WaitFor([&] { return remote.link.IsConnected(); }));
  EXPECT_TRUE(remote.link.SendBare(kReqStatus));
  remote.link.Close();
  EXPECT_FALSE(remote.link.IsOpen());
  EXPECT_FALSE(remote.link.IsConnected());
  EXPECT_FALSE(remote.link.SendBare(kReqStatus));
}

TEST_F(UnitLinkTest, CloseDoesNotWaitForAConnectThatHangs) {
  // A device that accepts but never answers the connect request.
  const platform::BtAddress silent{0x12345678, 0x0001};
  const std::string path = platform::simbt::SocketPath(BtDir(), silent).string();
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 4), 0);

  RemoteSide remote(BtDir());
  remote.link.SetUnit(silent, "Silent", "COM-HARDWARE");
  remote.link.SetEnabled(true);
  ASSERT_TRUE(remote.link.Start(&remote.window, false));
  const int peer = accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  remote.link.Close();
  // The abandoned attempt closes its socket long before the stack's 2 s answer timeout.
  char byte;
  std::string line;
  platform::simbt::ReadLine(peer, line, 1000);  // the connect request
  EXPECT_TRUE(WaitFor([&] { return recv(peer, &byte, 1, MSG_DONTWAIT) == 0; },
                      std::chrono::milliseconds(1000)));
  close(peer);
  close(listener);
}

TEST_F(UnitLinkTest, PollsTheUnitAndChangesItsState) {
  RemoteSide remote(BtDir());
  remote.Connect(module.Address());
  ASSERT_TRUE(remote.PumpUntil([&] { return remote.Complete(); }));
  EXPECT_EQ(remote.state.Info().serialNumber, 1234);
  EXPECT_EQ(remote.state.Status().volumeStep, 5) << "the main unit's image says 0.5 dB";
  EXPECT_EQ(remote.state.FirstName(true, 0, 0xFF), "MRX520");
  EXPECT_EQ(remote.state.FirstName(false, 0, 0), "CD");
  EXPECT_EQ(remote.state.Info().inputMasks[5], 0xFF) << "the SIV520's eight inputs";

  ASSERT_TRUE(remote.state.SetVolume(-123));
  EXPECT_TRUE(WaitFor([&] { return StatusRecord::Decode(unit.RemoteStatus()).volume == -120; }));
  ASSERT_TRUE(remote.state.SelectSource(5, 2));
  ASSERT_TRUE(remote.PumpUntil([&] { return remote.state.Status().sourceSlot == 5; }))
      << "the unit reports its new source by itself";
  EXPECT_EQ(remote.state.Status().sourceInput, 2);

  // A module block: the card's image without its identity record, written back live.
  platform::QueueTarget page;
  remote.state.SetPage(&page);
  ASSERT_TRUE(remote.state.RequestModuleBlock(6, 0));
  ASSERT_TRUE(remote.PumpUntil([&] { return remote.state.Block().Address() == 6; }));
  const auto image = unit.WorkingSettings(6);
  EXPECT_TRUE(std::equal(image.begin() + 8, image.end(), remote.state.Block().settings.begin()));
  std::vector<std::uint8_t> settings(remote.state.Block().settings.begin(),
                                     remote.state.Block().settings.begin() + (image.size() - 8));
  settings[0] = 'Z';  // the card name's first letter
  ASSERT_TRUE(remote.state.WriteModuleBlock(6, 0, settings, false));
  bool acked = false;
  ASSERT_TRUE(remote.PumpUntil([&] {
    page.Drain([&](const platform::Message& m) { acked = acked || m.id == kWmWriteAck; });
    return acked;
  }));
  EXPECT_EQ(unit.StoredSettings(6)[8], 'Z');
}

TEST_F(UnitLinkTest, ConfigurationTextsRenameTheModule) {
  RemoteSide remote(BtDir());
  remote.link.SetUnit(module.Address(), "", std::string(kServiceConfig));
  remote.link.SetEnabled(true);
  ASSERT_TRUE(remote.link.Start(&remote.window, true));
  ModuleConfigSequence sequence(7);
  std::vector<std::string> lines;
  auto next = [&] {
    const auto text = sequence.Next();
    return text && remote.link.SendRaw(*text);
  };
  ASSERT_TRUE(WaitFor([&] { return remote.link.IsConnected(); }));
  ASSERT_TRUE(next());
  while (!sequence.Finished()) {
    const std::size_t before = lines.size();
    ASSERT_TRUE(WaitFor([&] {
      remote.window.Drain([&](const platform::Message& m) {
        ASSERT_EQ(m.id, kWmLinkData);
        ASSERT_EQ(static_cast<std::size_t>(m.wParam), m.bytes.size());
        for (auto& l : sequence.Receive(m.bytes)) lines.push_back(l);
      });
      return lines.size() > before && lines.back() == "OK";
    }));
    ASSERT_TRUE(next());
  }
  EXPECT_EQ(lines.front(), "MRX-BT serial module 2.1");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "0050C20004D2"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Valdur MRX520-0007"), lines.end());

  std::vector<platform::BtDeviceInfo> found;
  std::string error;
  ASSERT_TRUE(remote.bluetooth.Inquiry(
      [&](const platform::BtDeviceInfo& d) {
        found.push_back(d);
        return true;
      },
      error))
      << error;
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "Valdur MRX520-0007");
  EXPECT_EQ(found[0].address, module.Address());
}

TEST_F(UnitLinkTest, TheLinkSwitchesAnOffRadioOnAndPutsItBack) {
  platform::SimBluetooth bluetooth(BtDir());
  ASSERT_TRUE(bluetooth.SetRadioMode(platform::RadioMode::kOff));
  std::string error;
  EXPECT_FALSE(bluetooth.Inquiry([](const platform::BtDeviceInfo&) { return true; }, error));
  EXPECT_EQ(error, "the Bluetooth radio is off");
  {
    UnitLink link(bluetooth, platform::DefaultClock());
    platform::RadioMode mode;
    ASSERT_TRUE(bluetooth.GetRadioMode(mode));
    EXPECT_EQ(mode, platform::RadioMode::kDiscoverable);
  }
  platform::RadioMode mode;
  ASSERT_TRUE(bluetooth.GetRadioMode(mode));
  EXPECT_EQ(mode, platform::RadioMode::kOff);
}

TEST(UnitLinkReconnectTest, AUnitThatDropsAtOnceIsTriedAfterAGrowingPauseUntilAConnectionLasts) {
  using Answer = testing_support::ScriptedBluetooth::Answer;
  platform::VirtualClock clock;
  testing_support::ScriptedBluetooth bluetooth(clock);
  bluetooth.Script({Answer::kDrop, Answer::kDrop, Answer::kDrop, Answer::kDrop, Answer::kDrop,
                    Answer::kDrop, Answer::kKeep, Answer::kDrop, Answer::kRefuse, Answer::kDrop});
  platform::QueueTarget window;
  UnitLink link(bluetooth, clock);
  link.SetUnit({0x000004D2, 0x0050}, "Unit", "COM-HARDWARE");
  link.SetEnabled(true);
  ASSERT_TRUE(link.Start(&window, false));

  ASSERT_TRUE(WaitFor([&] { return link.IsConnected() && bluetooth.AttemptCount() == 7; }));
  clock.Advance(ReconnectPause::kLastedMs);
  bluetooth.TakePeer().Reset();  // a connection that worked breaks
  ASSERT_TRUE(WaitFor([&] { return bluetooth.Hanging() == 1; }));

  const auto attempts = bluetooth.Attempts();
  std::vector<std::uint64_t> gaps;
  for (std::size_t i = 1; i < attempts.size(); ++i) gaps.push_back(attempts[i] - attempts[i - 1]);
  EXPECT_EQ(gaps, (std::vector<std::uint64_t>{500, 1000, 2000, 4000, 8000,
                                              8000,  // dropped at once: doubling, bounded
                                              5000,  // lasted: tried again at once
                                              500,   // dropped at once: the series afresh
                                              500,   // refused: the plain retry pause
                                              1000}));
  link.Close();
}

// Close, SetEnabled and SetUnit race the reader of each Start in every phase:
// waiting while disabled, connecting, receiving, pausing. The link's
// destructor joins every reader, so a lost wake-up hangs here; the watchdog
// turns that into a failure.
TEST(UnitLinkStressTest, StartAndCloseRacingTheReaderNeverHang) {
  using Answer = testing_support::ScriptedBluetooth::Answer;
  constexpr int kCycles = 400;
  std::mutex doneMutex;
  std::condition_variable doneChanged;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock lock(doneMutex);
    if (!doneChanged.wait_for(lock, std::chrono::seconds(120), [&] { return done; })) {
      std::fprintf(stderr, "UnitLink stress: a reader missed its wake-up and never ended\n");
      std::abort();
    }
  });

  platform::QueueTarget window;
  {
    testing_support::ScriptedBluetooth bluetooth(platform::DefaultClock(), Answer::kDrop);
    UnitLink link(bluetooth, platform::DefaultClock());
    link.SetUnit({0x000004D2, 0x0050}, "Unit", "COM-HARDWARE");
    std::atomic<bool> stop{false};
    std::thread toggler([&] {
      std::minstd_rand random(7);
      while (!stop) {
        switch (random() % 4) {
          case 0:
            link.SetEnabled(true);
            break;
          case 1:
            link.SetEnabled(false);
            break;
          case 2:
            link.SetUnit({static_cast<std::uint32_t>(random() % 2), 0}, "Unit", "COM-HARDWARE");
            break;
          default:
            link.SendBare(kReqStatus);
            break;
        }
      }
    });
    std::minstd_rand random(11);
    for (int i = 0; i < kCycles; ++i) {
      const Answer answers[] = {Answer::kDrop, Answer::kKeep, Answer::kRefuse, Answer::kHang};
      bluetooth.Script({answers[random() % 4]});
      link.SetEnabled(random() % 3 != 0);
      ASSERT_TRUE(link.Start(&window, false));
      if (random() % 2 == 0) std::this_thread::yield();
      link.Close();
    }
    stop = true;
    toggler.join();
  }  // joins every reader
  {
    std::lock_guard lock(doneMutex);
    done = true;
  }
  doneChanged.notify_all();
  watchdog.join();
}

}  // namespace
}  // namespace remote::link
