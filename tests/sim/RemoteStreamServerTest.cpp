// The unit's end of the remote's stream with a peer that stops reading: it is
// dropped, and the loop never waits on it while another peer is served.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <thread>

#include "../support/TempDir.h"
#include "../support/WaitFor.h"
#include "platform/SimBluetoothWire.h"
#include "protocol/remote/DiscStatusRecord.h"
#include "protocol/remote/FrameAssembler.h"
#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"
#include "sim/BluetoothRegistration.h"
#include "sim/CdDrive.h"
#include "sim/RemoteStreamServer.h"

namespace sim {
namespace {

namespace rl = protocol::remote;

std::vector<std::uint8_t> Request(std::uint16_t command) {
  rl::RemoteFrame frame;
  frame.command = command;
  return frame.Encode();
}

TEST(RemoteStreamServerTest, APeerThatStopsReadingIsDroppedWhileAnotherIsServed) {
  platform::SystemClock clock;
  SimUnit unit(DefaultScenario(), clock);
  constexpr int kStallLimitMs = 300;
  RemoteStreamServer server(unit, {}, kStallLimitMs);
  int stalled[2], served[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stalled), 0);
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, served), 0);
  const platform::UniqueFd stalledPeer(stalled[1]), servedPeer(served[1]);
  server.Serve(platform::UniqueFd(stalled[0]), std::string(rl::kServiceHardware));
  server.Serve(platform::UniqueFd(served[0]), std::string(rl::kServiceHardware));

  // Listing requests, whose answers are many frames each, never read.
  std::atomic<bool> cutOff{false};
  std::thread flood([&] {
    const auto request = Request(rl::kReqListing);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      if (send(stalledPeer.Get(), request.data(), request.size(), MSG_NOSIGNAL | MSG_DONTWAIT) <
              0 &&
          errno != EAGAIN && errno != EWOULDBLOCK) {
        cutOff = true;
        return;
      }
    }
  });

  // Meanwhile every request of the other peer is answered within a limit.
  constexpr int kRequests = 50;
  int answered = 0;
  rl::FrameAssembler assembler;
  const auto request = Request(rl::kReqInfo);
  for (int i = 0; i < kRequests; ++i) {
    ASSERT_EQ(send(servedPeer.Get(), request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    bool got = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    while (!got && std::chrono::steady_clock::now() < end) {
      pollfd p{servedPeer.Get(), POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      std::uint8_t chunk[4096];
      const ssize_t n = recv(servedPeer.Get(), chunk, sizeof chunk, 0);
      ASSERT_GT(n, 0);
      assembler.Feed(std::span(chunk, static_cast<std::size_t>(n)), 0,
                     [&](std::span<const std::uint8_t> bytes) {
                       rl::RemoteFrame frame;
                       if (rl::RemoteFrame::Decode(bytes, frame) && frame.command == rl::kRecInfo) {
                         got = true;
                       }
                     });
    }
    if (got) ++answered;
  }
  EXPECT_EQ(answered, kRequests);
  EXPECT_TRUE(testing_support::WaitFor([&] { return cutOff.load(); },
                                       std::chrono::milliseconds(kStallLimitMs * 10)))
      << "the peer that does not read was never dropped";
  flood.join();
  EXPECT_TRUE(testing_support::WaitFor([&] { return server.Sessions() == 1; }));
  server.Stop();
}

// A remote that connects learns what the drive holds without waiting for the
// drive to change: it has no request for the disc record.
TEST(RemoteStreamServerTest, ARemoteThatAsksWhoTheUnitIsHearsOfTheDisc) {
  platform::SystemClock clock;
  SimUnit unit(DefaultScenario(), clock);
  RemoteStreamServer server(unit);
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const platform::UniqueFd peer(pair[1]);
  for (int connection = 0; connection < 2; ++connection) {
    SCOPED_TRACE(connection == 0 ? "first connection"
                                 : "asked again after a restart of the remote");
    if (connection == 0) {
      server.Serve(platform::UniqueFd(pair[0]), std::string(rl::kServiceHardware));
    }
    const auto request = Request(rl::kReqInfo);
    ASSERT_EQ(send(peer.Get(), request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    rl::FrameAssembler assembler;
    std::optional<rl::DiscStatusRecord> disc;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!disc && std::chrono::steady_clock::now() < end) {
      pollfd p{peer.Get(), POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      std::uint8_t chunk[4096];
      const ssize_t n = recv(peer.Get(), chunk, sizeof chunk, 0);
      ASSERT_GT(n, 0);
      assembler.Feed(
          std::span(chunk, static_cast<std::size_t>(n)), 0,
          [&](std::span<const std::uint8_t> bytes) {
            rl::RemoteFrame frame;
            if (rl::RemoteFrame::Decode(bytes, frame) && frame.command == rl::kRecDiscStatus) {
              disc = rl::DiscStatusRecord::Decode(frame.payload);
            }
          });
    }
    ASSERT_TRUE(disc.has_value()) << "no disc record after the info request";
    EXPECT_TRUE(disc->DiscPresent());
    EXPECT_EQ(disc->firstTrack, 1);
    EXPECT_EQ(disc->lastTrack, CdDrive::kTrackCount);
  }
  server.Stop();
}

platform::UniqueFd Connect(const std::filesystem::path& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  platform::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return {};
  return fd;
}

// More silent clients than the module keeps places for: a client that asks
// is still answered, and the silent ones are let go.
TEST(BluetoothRegistrationTest, SilentClientsDoNotShutOutOneThatAsks) {
  testing_support::TempDir dir;
  platform::SystemClock clock;
  SimUnit unit(DefaultScenario(), clock);
  RemoteStreamServer streams(unit);
  BluetoothRegistration module(BluetoothRegistration::AddressForSerial(1234),
                               BluetoothRegistration::NameForSerial(1234), dir.path() / "bt",
                               streams);
  std::string error;
  ASSERT_TRUE(module.Start(error)) << error;

  std::vector<platform::UniqueFd> silent;
  for (int i = 0; i < 100; ++i) {
    silent.push_back(Connect(module.SocketPath()));
    ASSERT_TRUE(silent.back()) << i;
  }
  const platform::UniqueFd asking = Connect(module.SocketPath());
  ASSERT_TRUE(asking);
  ASSERT_TRUE(platform::simbt::WriteAll(asking.Get(), std::string(platform::simbt::kName) + "\n"));
  std::string line;
  EXPECT_TRUE(platform::simbt::ReadLine(asking.Get(), line, 2000));
  EXPECT_EQ(line, std::string(platform::simbt::kName) + " " + module.Name());
  // Every silent one ends: its read sees the end of the stream in time.
  for (const auto& fd : silent) {
    EXPECT_FALSE(platform::simbt::ReadLine(fd.Get(), line, 3000));
  }
  module.Stop();
  streams.Stop();
}

}  // namespace
}  // namespace sim
