// The real simulator process, driven through the socket backend.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <fstream>

#include "../support/SimProcess.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/UnixDeviceIo.h"
#include "protocol/unit/Frame.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/StatusRecord.h"

namespace {

namespace ul = desktop::unitlink;
using testing_support::SimProcess;
using testing_support::TempDir;
using testing_support::WaitFor;

class SimProcessTest : public ::testing::Test {
 protected:
  SimProcessTest() : io(dir.path()), usb(&io) { usb.SetDeviceName("\\\\.\\MRXUSBDevice0"); }
  std::vector<std::string> Args(std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"--state", (dir.path() / "state").string(), "--restart-ms",
                                     "300"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  TempDir dir;
  platform::UnixDeviceIo io;
  ul::CTiroUSB usb;
};

TEST_F(SimProcessTest, DiscoveryAndStoredSettingsSurviveARestart) {
  SimProcess sim(dir.path(), Args());
  const ul::Discovery d = ul::DiscoverModules(usb);
  ASSERT_TRUE(d.unitPresent);
  ASSERT_EQ(d.cards.size(), 14u);
  EXPECT_EQ(d.cards[10].Fields().type, 11);

  std::vector<std::uint8_t> image(protocol::unit::SettingsImage::kMaxSize);
  const std::size_t length = ul::SettingsLength(d.mainUnit);
  ASSERT_TRUE(ul::ReadSettingsImage(usb, 0, length, false, image));
  image[77] = 10;
  image[106] = 60;
  image[107] = 0;
  ASSERT_TRUE(ul::WriteSettingsImage(usb, 0, length, image));

  sim.Stop();
  EXPECT_FALSE(usb.IsDevicePresent());
  sim.Start(Args());
  std::vector<std::uint8_t> again(protocol::unit::SettingsImage::kMaxSize);
  ASSERT_TRUE(ul::ReadSettingsImage(usb, 0, length, false, again));
  EXPECT_EQ(again, image);
}

TEST_F(SimProcessTest, DeviceVanishesAfterAnEraseAndComesBack) {
  SimProcess sim(dir.path(), Args());
  ASSERT_TRUE(usb.EraseHost());
  EXPECT_TRUE(WaitFor([&] { return !std::filesystem::exists(dir.path() / "MRXUSBDevice0"); }));
  EXPECT_FALSE(usb.IsDevicePresent());
  EXPECT_TRUE(WaitFor([&] { return usb.IsDevicePresent(); }));
  ul::ModuleInfo main;
  EXPECT_TRUE(ul::ReadModuleDescriptor(usb, 0, main));
}

TEST_F(SimProcessTest, MalformedRequestsFailTheCallAndTheServerGoesOn) {
  SimProcess sim(dir.path(), Args());
  // Raw bytes that are not a request: the server answers a failure and drops us.
  const auto h = io.Open("\\\\.\\MRXUSBDevice0");
  ASSERT_NE(h, platform::DeviceIo::kInvalidHandle);
  const std::uint8_t garbage[] = {'G', 'E', 'T', ' ', '/', '\n'};
  ASSERT_EQ(send(h, garbage, sizeof garbage, MSG_NOSIGNAL), 6);
  std::uint8_t reply[16];
  const ssize_t n = recv(h, reply, sizeof reply, 0);
  EXPECT_EQ(n, 8) << "a failed reply, then the connection ends";
  io.Close(h);
  // A frame the unit refuses fails as a control call.
  std::uint8_t frame[64] = {2, 3, 0, 0, 0, 0};
  std::uint8_t out[64];
  const auto h2 = io.Open("\\\\.\\MRXUSBDevice0");
  EXPECT_FALSE(io.Control(h2, 0x226000, std::span(frame, 6), out, nullptr));
  io.Close(h2);
  ul::ModuleInfo main;
  EXPECT_TRUE(ul::ReadModuleDescriptor(usb, 0, main));
}

TEST_F(SimProcessTest, RefusesABadScenarioWithItsLine) {
  std::ofstream(dir.path() / "bad.scenario") << "unit\nmodule address=1\n";
  SimProcess sim(dir.path(), Args({"--scenario", (dir.path() / "bad.scenario").string()}));
  EXPECT_EQ(WEXITSTATUS(sim.Stop()), 65);
  EXPECT_FALSE(usb.IsDevicePresent());
}

}  // namespace
