// The device server in process, with callers on several threads: the
// transport's lock and the server's loop must keep every exchange whole.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../support/SimProcess.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/UnixDeviceIo.h"
#include "sim/DeviceServer.h"

namespace sim {
namespace {

namespace ul = desktop::unitlink;

TEST(DeviceServerTest, ConcurrentCallersGetWholeAnswers) {
  testing_support::TempDir dir;
  platform::SystemClock clock;
  SimUnit unit(DefaultScenario(), clock);
  DeviceServer server(unit, dir.path());
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;

  platform::UnixDeviceIo io(dir.path());
  ul::CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");

  std::atomic<int> bad{0};
  auto reader = [&](std::uint8_t address) {
    for (int i = 0; i < 100; ++i) {
      ul::ModuleInfo m;
      if (!ul::ReadModuleDescriptor(usb, address, m) || m.address != address) ++bad;
    }
  };
  std::thread a(reader, 3), b(reader, 7);
  std::thread presence([&] {
    for (int i = 0; i < 100; ++i) {
      if (!usb.IsDevicePresent()) ++bad;
    }
  });
  a.join();
  b.join();
  presence.join();
  EXPECT_EQ(bad, 0);

  // A second server on the same directory is refused while the first serves.
  DeviceServer second(unit, dir.path());
  EXPECT_FALSE(second.Start(error));
  EXPECT_NE(error.find("already served"), std::string::npos);
  server.Stop();
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "MRXUSBDevice0"));
}

}  // namespace
}  // namespace sim
