#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/DeviceWire.h"
#include "platform/UnixDeviceIo.h"
#include "tests/support/TempDir.h"

namespace platform {
namespace {

TEST(DeviceNameTest, OnlyPlainDeviceNamesAreAccepted) {
  const std::pair<const char*, const char*> rows[] = {
      {"\\\\.\\MRXUSBDevice0", "MRXUSBDevice0"},
      {"MRXUSBDevice0", ""},
      {"\\\\.\\", ""},
      {"\\\\.\\..", ""},
      {"\\\\.\\a/b", ""},
      {"\\\\.\\a\\b", ""},
      {"\\\\.\\../etc", ""},
  };
  for (const auto& [path, name] : rows) {
    SCOPED_TRACE(path);
    EXPECT_EQ(DeviceNameFromPath(path), name);
  }
  EXPECT_EQ(DeviceNameFromPath(std::string_view("\\\\.\\a\0b", 8)), "");
}

// A one-shot device server that answers the first request with `reply`.
class OneShotServer {
 public:
  OneShotServer(const std::filesystem::path& dir, std::vector<std::uint8_t> reply) {
    path_ = dir / "Dev";
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path_.c_str());
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(fd_, 1);
    thread_ = std::thread([this, reply] {
      const int c = accept(fd_, nullptr, nullptr);
      std::uint8_t buf[256];
      [[maybe_unused]] auto n = recv(c, buf, sizeof buf, 0);
      [[maybe_unused]] auto m = send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
      close(c);
    });
  }
  ~OneShotServer() {
    thread_.join();
    close(fd_);
  }

 private:
  std::filesystem::path path_;
  int fd_;
  std::thread thread_;
};

class UnixDeviceIoTest : public ::testing::Test {
 protected:
  testing_support::TempDir temp_;
  const std::filesystem::path dir_ = temp_.path();
};

TEST_F(UnixDeviceIoTest, MissingDeviceCannotBeOpened) {
  UnixDeviceIo io(dir_);
  EXPECT_EQ(io.Open("\\\\.\\Dev"), DeviceIo::kInvalidHandle);
}

// Whoever can write the folder could have put the device there.
TEST_F(UnixDeviceIoTest, ADeviceInAFolderOthersCanWriteIsNeverOpened) {
  OneShotServer server(dir_, wire::EncodeReply(true, {}));
  UnixDeviceIo io(dir_);
  for (const auto mode : {0777, 0730, 0703}) {
    SCOPED_TRACE(mode);
    chmod(dir_.c_str(), static_cast<mode_t>(mode));
    EXPECT_EQ(io.Open("\\\\.\\Dev"), DeviceIo::kInvalidHandle);
  }
  chown(dir_.c_str(), 65534, 65534);
  chmod(dir_.c_str(), 0700);
  EXPECT_EQ(io.Open("\\\\.\\Dev"), DeviceIo::kInvalidHandle) << "another user's folder";
  chown(dir_.c_str(), getuid(), getgid());
  const auto h = io.Open("\\\\.\\Dev");
  EXPECT_NE(h, DeviceIo::kInvalidHandle) << "the user's own folder";
  if (h == DeviceIo::kInvalidHandle) {
    // The server still waits for its one client: release it.
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, (dir_ / "Dev").c_str());
    connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    close(fd);
  } else {
    io.Close(h);
  }
}

TEST_F(UnixDeviceIoTest, ReplyIsCopiedIntoTheCallersBuffer) {
  std::vector<std::uint8_t> out(64, 0);
  out[6] = 42;
  OneShotServer server(dir_, wire::EncodeReply(true, out));
  UnixDeviceIo io(dir_);
  const auto h = io.Open("\\\\.\\Dev");
  ASSERT_NE(h, DeviceIo::kInvalidHandle);
  std::uint8_t in[6] = {2};
  std::uint8_t reply[64] = {};
  std::uint32_t returned = 0;
  EXPECT_TRUE(io.Control(h, 0x226000, in, reply, &returned));
  EXPECT_EQ(returned, 64u);
  EXPECT_EQ(reply[6], 42);
  io.Close(h);
}

// A server that misbehaves makes the control call fail, never overruns the buffer.
TEST_F(UnixDeviceIoTest, MalformedOrShortRepliesFailTheCall) {
  struct Row {
    const char* name;
    std::vector<std::uint8_t> reply;
  } rows[] = {
      {"garbage", {1, 2, 3, 4, 5, 6, 7, 8}},
      {"longer than the buffer", wire::EncodeReply(true, std::vector<std::uint8_t>(200, 1))},
      {"cut short", {'M', 'R', 'X', 'A', 1, 0, 64, 0, 1, 2}},
      {"failure", wire::EncodeReply(false, {})},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    OneShotServer server(dir_, row.reply);
    UnixDeviceIo io(dir_);
    const auto h = io.Open("\\\\.\\Dev");
    ASSERT_NE(h, DeviceIo::kInvalidHandle);
    std::uint8_t in[6] = {2};
    std::uint8_t reply[64] = {};
    EXPECT_FALSE(io.Control(h, 0x226000, in, reply, nullptr));
    io.Close(h);
    std::filesystem::remove(dir_ / "Dev");
  }
}

// A device whose server stopped (it accepts nothing and answers nothing): the
// open, or the exchange after it, gives up at the backend's limit instead of
// blocking its caller for ever.
TEST_F(UnixDeviceIoTest, AServerThatStoppedFailsTheCallAtTheLimit) {
  constexpr int kLimitMs = 200;
  const std::filesystem::path path = dir_ / "Dev";
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  UnixDeviceIo io(dir_, kLimitMs);

  // Queued but never accepted: the request goes out, no reply comes.
  const auto start = std::chrono::steady_clock::now();
  const auto h = io.Open("\\\\.\\Dev");
  ASSERT_NE(h, DeviceIo::kInvalidHandle);
  std::uint8_t in[6] = {2};
  std::uint8_t reply[64] = {};
  EXPECT_FALSE(io.Control(h, 0x226000, in, reply, nullptr));
  // Half the limit tells "waited for the reply" from "failed at once" without
  // depending on how exactly the system times a poll.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kLimitMs / 2))
      << "it waited for the reply before giving up";

  // With the backlog full, even the open is refused once the limit has run out.
  std::vector<int> queued;
  for (;;) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      close(fd);
      break;
    }
    queued.push_back(fd);
  }
  EXPECT_EQ(io.Open("\\\\.\\Dev"), DeviceIo::kInvalidHandle);
  io.Close(h);
  for (int fd : queued) close(fd);
  close(listener);
}

// After one exchange has run out of time the unit counts as silent, so later
// calls (a clock timer polling a stopped unit) wait only briefly; its next
// answer gives it the full limit back.
TEST_F(UnixDeviceIoTest, ASilentUnitIsWaitedForBrieflyUntilItAnswersAgain) {
  const std::filesystem::path path = dir_ / "Dev";
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  UnixDeviceIo io(dir_, 400);
  std::uint8_t in[6] = {2};
  std::uint8_t reply[64] = {};

  EXPECT_FALSE(io.Silent());
  auto h = io.Open("\\\\.\\Dev");
  ASSERT_NE(h, DeviceIo::kInvalidHandle);
  EXPECT_FALSE(io.Control(h, 0x226000, in, reply, nullptr));
  io.Close(h);
  EXPECT_TRUE(io.Silent()) << "the exchange ran out of time";
  close(listener);
  unlink(path.c_str());

  std::vector<std::uint8_t> out(64, 0);
  OneShotServer server(dir_, wire::EncodeReply(true, out));
  h = io.Open("\\\\.\\Dev");
  ASSERT_NE(h, DeviceIo::kInvalidHandle);
  EXPECT_TRUE(io.Control(h, 0x226000, in, reply, nullptr));
  io.Close(h);
  EXPECT_FALSE(io.Silent()) << "an answer ends the short waits";
}

}  // namespace
}  // namespace platform
