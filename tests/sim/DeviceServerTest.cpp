// The device server in process, with callers on several threads: the
// transport's lock and the server's loop must keep every exchange whole.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "../support/SimProcess.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/DeviceWire.h"
#include "platform/UnixDeviceIo.h"
#include "protocol/unit/Frame.h"
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

platform::UniqueFd Connect(const std::filesystem::path& socketPath) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
  platform::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return {};
  return fd;
}

// True once the server has closed its end: the peer reads the end of the
// stream, or a write fails.
bool Dropped(int fd) {
  std::uint8_t byte[4096];
  for (;;) {
    const ssize_t n = recv(fd, byte, sizeof byte, MSG_DONTWAIT);
    if (n == 0) return true;
    if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK;
  }
}

// Eight well-behaved callers in loops while three bad clients try to stall
// the server: one floods requests and never reads, one connects and says
// nothing, one sends half a request. Every good call is answered right, and
// every bad client is dropped within the server's time limit.
TEST(DeviceServerTest, BadClientsAreDroppedWhileEveryOtherCallerIsServed) {
  testing_support::TempDir dir;
  platform::SystemClock clock;
  SimUnit unit(DefaultScenario(), clock);
  constexpr int kTimeoutMs = 300;
  DeviceServer server(unit, dir.path(), kTimeoutMs);
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;

  // The flood: whole, valid requests for a full frame each, never read.
  platform::UniqueFd flood = Connect(server.SocketPath());
  platform::UniqueFd silent = Connect(server.SocketPath());
  platform::UniqueFd half = Connect(server.SocketPath());
  ASSERT_TRUE(flood && silent && half);
  const std::uint8_t frame[protocol::unit::kMaxData + 6] = {};
  const auto request = platform::wire::EncodeRequest(
      protocol::unit::kControlCode, std::span(frame, 6), protocol::unit::kFrameSize);
  ASSERT_EQ(send(half.Get(), request.data(), 5, MSG_NOSIGNAL), 5);
  std::atomic<bool> floodEnded{false};
  std::thread flooder([&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      if (send(flood.Get(), request.data(), request.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
          errno != EAGAIN && errno != EWOULDBLOCK) {
        break;
      }
    }
    floodEnded = true;
  });

  constexpr int kCallers = 8;
  constexpr int kCalls = 40;
  std::atomic<int> answered{0}, wrong{0};
  std::vector<std::thread> callers;
  for (int c = 0; c < kCallers; ++c) {
    callers.emplace_back([&, c] {
      platform::UnixDeviceIo io(dir.path());
      ul::CTiroUSB usb(&io);
      usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
      const std::uint8_t address = static_cast<std::uint8_t>(1 + c % 13);
      for (int i = 0; i < kCalls; ++i) {
        ul::ModuleInfo m;
        if (ul::ReadModuleDescriptor(usb, address, m) && m.address == address) {
          ++answered;
        } else {
          ++wrong;
        }
      }
    });
  }
  for (auto& t : callers) t.join();
  EXPECT_EQ(answered, kCallers * kCalls);
  EXPECT_EQ(wrong, 0);

  using testing_support::WaitFor;
  const auto limit = std::chrono::milliseconds(kTimeoutMs * 10);
  EXPECT_TRUE(WaitFor([&] { return floodEnded.load(); }, limit)) << "the flood was never cut off";
  EXPECT_TRUE(WaitFor([&] { return Dropped(silent.Get()); }, limit)) << "the silent client stays";
  EXPECT_TRUE(WaitFor([&] { return Dropped(half.Get()); }, limit)) << "half a request stays";
  flooder.join();
}

}  // namespace
}  // namespace sim
