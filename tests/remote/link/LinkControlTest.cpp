#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <fstream>
#include <system_error>

#include "../../support/SimProcess.h"
#include "ScriptedBluetooth.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/LinkControl.h"
#include "remote/link/PowerEventThread.h"

namespace remote::link {
namespace {

using Answer = testing_support::ScriptedBluetooth::Answer;
using testing_support::TempDir;
using testing_support::WaitFor;

struct RecordingPrompt final : platform::Prompt {
  void Error(std::string_view title, std::string_view text) override {
    shown.emplace_back(title, text);
  }
  std::vector<std::pair<std::string, std::string>> shown;
};

// True once the remote has closed its end.
bool Closed(int fd) {
  return WaitFor([&] {
    std::uint8_t byte;
    return recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
  });
}

// The view's side: a known unit as the default, a stack whose units accept and
// keep the stream, and this thread as the user-interface thread.
class LinkControlTest : public ::testing::Test {
 protected:
  LinkControlTest()
      : env(dir.path()),
        store(registry, env),
        bluetooth(platform::DefaultClock(), Answer::kKeep),
        link(bluetooth, platform::DefaultClock()),
        state(link, platform::DefaultClock()),
        control(link, state, store, view, prompt) {
    std::filesystem::create_directories(dir.path() / "Storage Card" / "2577");
    std::ofstream(dir.path() / "handheld.conf") << "storage_card=Storage Card\n";
    std::string error;
    EXPECT_TRUE(env.LoadConfig(error)) << error;
    state.SetView(&view);
  }
  // Runs the view until `done`: link messages to the unit state, power
  // messages to the connection control.
  template <typename Condition>
  bool PumpUntil(Condition done) {
    return WaitFor([&] {
      view.Drain([&](const platform::Message& m) {
        seen.push_back(m.id);
        if (!control.HandlePowerMessage(m)) state.HandleLinkMessage(m);
      });
      state.Tick();
      return done();
    });
  }
  // The first `n` bytes the remote sends on a connection (read at the unit's
  // end), the view running meanwhile.
  std::vector<std::uint8_t> Sent(int fd, std::size_t n) {
    std::vector<std::uint8_t> bytes;
    PumpUntil([&] {
      std::uint8_t chunk[16];
      ssize_t got = 0;
      while (bytes.size() < n &&
             (got = recv(fd, chunk, std::min(sizeof chunk, n - bytes.size()), MSG_DONTWAIT)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
      }
      return bytes.size() >= n;
    });
    return bytes;
  }
  bool Seen(std::uint32_t id) const {
    return std::find(seen.begin(), seen.end(), id) != seen.end();
  }

  // The request for the unit's info record, as the first poll of a connection sends it.
  const std::vector<std::uint8_t> infoRequest{0x90, 0x08, 0x00, 0x00, 0xA0, 0x00, 0x00, 0x00};
  const DeviceEntry unitA{{0xC20004D2, 0x0050}, "Valdur MRX520-1234", "COM-HARDWARE"};
  const DeviceEntry unitB{{0xC2000007, 0x0050}, "Valdur MRX520-0007", "COM-HARDWARE"};

  TempDir dir;
  platform::HandheldEnv env;
  platform::MemoryRegistry registry;
  DeviceStore store;
  platform::QueueTarget view;  // outlives the link's readers
  RecordingPrompt prompt;
  testing_support::ScriptedBluetooth bluetooth;
  UnitLink link;
  UnitState state;
  LinkControl control;
  std::vector<std::uint32_t> seen;
};

TEST_F(LinkControlTest, AfterTheHandheldWakesTheLinkIsDroppedAndBuiltAgain) {
  store.Merge(unitA, true);
  ASSERT_TRUE(control.ConnectDefault());
  platform::InjectedPower power;
  PowerEventThread powerEvents(power, view);
  powerEvents.Start();
  ASSERT_TRUE(PumpUntil([&] { return link.IsConnected(); }));
  const platform::UniqueFd before = bluetooth.TakePeer();
  ASSERT_TRUE(before);
  EXPECT_EQ(Sent(before.Get(), infoRequest.size()), infoRequest);

  power.Inject(platform::PowerEvent::kResumed);
  ASSERT_TRUE(PumpUntil([&] { return bluetooth.AttemptCount() == 2 && link.IsConnected(); }));
  EXPECT_TRUE(Closed(before.Get())) << "the stream from before the suspend is closed";
  const platform::UniqueFd after = bluetooth.TakePeer();
  ASSERT_TRUE(after);
  EXPECT_EQ(bluetooth.Addresses().back(), unitA.address);
  EXPECT_EQ(Sent(after.Get(), infoRequest.size()), infoRequest)
      << "the new connection starts from nothing";
  EXPECT_TRUE(control.Connected());
  powerEvents.Stop();
}

TEST_F(LinkControlTest, WakingLeavesALinkTheUserDroppedDown) {
  store.Merge(unitA, true);
  ASSERT_TRUE(control.ConnectDefault());
  ASSERT_TRUE(PumpUntil([&] { return link.IsConnected(); }));
  control.Disconnect();
  EXPECT_FALSE(link.IsOpen());
  EXPECT_FALSE(state.Polling());

  view.Post({kWmPowerResumed, 0, {}, {}});
  ASSERT_TRUE(PumpUntil([&] { return Seen(kWmPowerResumed); }));
  EXPECT_FALSE(link.IsOpen());
  EXPECT_FALSE(control.Connected());
  EXPECT_EQ(bluetooth.AttemptCount(), 1u);
}

TEST_F(LinkControlTest, AReaderThatCannotBeMadeIsReportedAsFatalAndTheLinkStaysDown) {
  link.SetThreadMaker([](std::function<void()>) -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  store.Merge(unitA, true);
  EXPECT_FALSE(control.ConnectDefault());
  ASSERT_EQ(prompt.shown.size(), 1u);
  EXPECT_EQ(prompt.shown[0].first, "Fatal");
  EXPECT_EQ(prompt.shown[0].second, "Unable to create the serial read thread!");
  EXPECT_FALSE(link.IsOpen());
  EXPECT_FALSE(link.Enabled());
  EXPECT_FALSE(state.Polling());
  EXPECT_FALSE(control.Connected());
}

TEST_F(LinkControlTest, WithoutADefaultUnitNothingConnects) {
  EXPECT_FALSE(control.ConnectDefault());
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(bluetooth.AttemptCount(), 0u);
}

TEST_F(LinkControlTest, AChosenUnitReplacesTheConnectionAndBecomesTheSavedDefault) {
  store.Merge(unitA, true);
  ASSERT_TRUE(control.ConnectDefault());
  ASSERT_TRUE(PumpUntil([&] { return link.IsConnected(); }));
  const platform::UniqueFd toA = bluetooth.TakePeer();

  control.ChooseUnit(unitB);
  ASSERT_TRUE(PumpUntil([&] { return bluetooth.AttemptCount() == 2 && link.IsConnected(); }));
  EXPECT_TRUE(Closed(toA.Get()));
  EXPECT_EQ(bluetooth.Addresses().back(), unitB.address);
  EXPECT_EQ(link.FriendlyName(), "Valdur MRX520-0007");
  EXPECT_TRUE(Seen(kWmDevicesChanged));

  DeviceStore reloaded(registry, env);
  reloaded.Load();
  EXPECT_EQ(reloaded.DefaultAddress(), unitB.address);
  EXPECT_EQ(reloaded.DefaultName(), "Valdur MRX520-0007");
  EXPECT_EQ(reloaded.Count(), 2u);
}

}  // namespace
}  // namespace remote::link
