// The real simulator process, driven through the socket backend.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "../support/RunProgram.h"
#include "../support/SimProcess.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/DeviceWire.h"
#include "platform/SocketIo.h"
#include "platform/UniqueFd.h"
#include "platform/UnixDeviceIo.h"
#include "protocol/unit/Frame.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/Klf310Image.h"
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
  // The handle is a non-blocking socket: wait for the answer within a limit.
  const ssize_t n = platform::ReceiveWithin(h, reply, sizeof reply, 3000);
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

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Starts the simulator and the command line tool in set-ups they must refuse,
// and checks the exit code and the first line each gives.
TEST_F(SimProcessTest, RefusesToStartWhereItCannotKeepItsWord) {
  const auto root = dir.path();
  const std::string sim = MRX_BINARY_DIR "/sim/mrx520-sim --runtime-dir " + (root / "rt").string();
  const std::string state = (root / "state").string();
  const std::string badState = "mrx520-state 1\nrtc-offset 5\ngarbage\n";
  platform::UniqueFd held;  // another simulator's hold on the state file
  struct Row {
    const char* name;
    std::function<void()> prepare;
    std::string command;
    int exitCode;
    std::string firstLine;  // the start of it
  };
  const Row rows[] = {
      {"delay beyond its range", [] {}, sim + " --delay 60001", 64,
       "mrx520-sim: option '--delay' takes a number from 0 to 60000, not '60001'"},
      {"count that is no number", [] {}, sim + " --fail-every 5x", 64,
       "mrx520-sim: option '--fail-every' takes a number from 0 to 1000000, not '5x'"},
      {"negative time", [] {}, sim + " --stream-refuse-ms -5", 64,
       "mrx520-sim: option '--stream-refuse-ms' takes a number from 0 to 3600000, not '-5'"},
      {"unreadable state", [&] { std::ofstream(state) << badState; }, sim + " --state " + state, 65,
       "mrx520-sim: " + state + " line 3: unknown record 'garbage'"},
      {"state that cannot be saved", [] {}, sim + " --state /proc/mrx520-sim-test/state", 73,
       "mrx520-sim: cannot save state to /proc/mrx520-sim-test/state"},
      {"state another simulator holds",
       [&] {
         held = platform::UniqueFd(open((state + ".lock").c_str(), O_RDWR | O_CREAT, 0600));
         ASSERT_EQ(flock(held.Get(), LOCK_EX | LOCK_NB), 0);
         ASSERT_EQ(write(held.Get(), "4242\n", 5), 5);
       },
       sim + " --state " + state, 73,
       "mrx520-sim: " + state + " is in use by another mrx520-sim (process 4242)"},
      {"runtime folder others can write",
       [&] {
         std::filesystem::create_directory(root / "rt");
         chmod((root / "rt").c_str(), 0777);
       },
       sim + " --no-state", 71,
       "mrx520-sim: " + (root / "rt").string() + " can be written by other users (mode 0777)"},
      {"runtime folder of another user",
       [&] {
         std::filesystem::create_directory(root / "rt");
         chown((root / "rt").c_str(), 65534, 0);
       },
       sim + " --no-state", 71,
       "mrx520-sim: " + (root / "rt").string() + " belongs to another user (uid 65534)"},
      {"Bluetooth folder others can write",
       [&] {
         std::filesystem::create_directories(root / "rt" / "bluetooth");
         chmod((root / "rt" / "bluetooth").c_str(), 0777);
       },
       sim + " --no-state", 71,
       "mrx520-sim: " + (root / "rt" / "bluetooth").string() + " can be written by other users"},
      {"mrxctl in a runtime folder others can write",
       [&] {
         std::filesystem::create_directory(root / "rt");
         chmod((root / "rt").c_str(), 0777);
       },
       "MRX_RUNTIME_DIR=" + (root / "rt").string() +
           " " MRX_BINARY_DIR "/tools/mrxctl/mrxctl status",
       77, "mrxctl: " + (root / "rt").string() + " can be written by other users (mode 0777)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::error_code ec;
    std::filesystem::remove_all(root / "rt", ec);
    std::filesystem::remove(state, ec);
    held.Reset();
    row.prepare();
    std::string output;
    EXPECT_EQ(testing_support::RunProgram(row.command + " 2>&1", output, std::chrono::seconds(20)),
              row.exitCode)
        << output;
    EXPECT_EQ(output.rfind(row.firstLine, 0), 0u) << output;
    EXPECT_FALSE(std::filesystem::exists(root / "rt" / "MRXUSBDevice0"));
  }
  // The unreadable file was left exactly as it was.
  std::ofstream(state) << badState;
  std::string output;
  testing_support::RunProgram(sim + " --state " + state + " 2>&1", output,
                              std::chrono::seconds(20));
  EXPECT_EQ(FileText(state), badState);
}

TEST_F(SimProcessTest, AFreshStartKeepsTheUnreadableStateAside) {
  const std::string badState = "mrx520-state 1\ndisplay 0 999\n";
  std::ofstream(dir.path() / "state") << badState;
  SimProcess sim(dir.path(), Args({"--fresh-state"}));
  ASSERT_TRUE(sim.Running());
  std::vector<std::filesystem::path> kept;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    if (entry.path().filename().string().starts_with("state.bad-")) kept.push_back(entry.path());
  }
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(FileText(kept[0]), badState);
  // The new file is the simulator's own, readable at the next start.
  EXPECT_TRUE(FileText(dir.path() / "state").starts_with("mrx520-state 2\n"));
  EXPECT_EQ(
      std::filesystem::status(dir.path() / "state").permissions() & std::filesystem::perms::all,
      std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  sim.Stop();
  sim.Start(Args());
  EXPECT_TRUE(sim.Running());
  EXPECT_TRUE(usb.IsDevicePresent());
}

TEST_F(SimProcessTest, EndsPromptlyOnASignalEvenInAnExchangeAndRemovesItsSockets) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    SimProcess sim(dir.path(), Args({"--delay", "60000"}));
    ASSERT_TRUE(sim.Running());
    const auto bluetooth = dir.path() / "bluetooth";
    // The Bluetooth module registers just after the device appears.
    ASSERT_TRUE(WaitFor([&] {
      std::error_code ec;
      return !std::filesystem::is_empty(bluetooth, ec) && !ec;
    }));
    // A request is on its way into a long delayed exchange as the signal comes.
    const auto h = io.Open("\\\\.\\MRXUSBDevice0");
    ASSERT_NE(h, platform::DeviceIo::kInvalidHandle);
    const std::uint8_t frame[6] = {};  // the delay comes before the frame is looked at
    const auto request = platform::wire::EncodeRequest(protocol::unit::kControlCode, frame,
                                                       protocol::unit::kFrameSize);
    ASSERT_EQ(send(h, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    int status = 0;
    EXPECT_TRUE(sim.StopWithin(signal, std::chrono::milliseconds(1000), status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::uint8_t reply[16];
    EXPECT_LE(recv(h, reply, sizeof reply, MSG_DONTWAIT), 8) << "no answer after the stop";
    io.Close(h);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "MRXUSBDevice0"));
    EXPECT_TRUE(std::filesystem::is_empty(bluetooth));
  }
}

// Where the KLF310 card at 11 of the simulator serving in `dir` is: as its
// runtime folder lists it, and as the card's settings over USB give it.
struct CardAddress {
  std::string listed;
  std::string inSettings;
};
CardAddress KlfAddressIn(const std::filesystem::path& dir) {
  CardAddress a;
  const auto file = dir / "klf310-addresses";
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(file); }));
  std::istringstream lines(FileText(file));
  std::string module;
  lines >> module >> a.listed;
  EXPECT_EQ(module, "11");
  platform::UnixDeviceIo io(dir);
  ul::CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  std::vector<std::uint8_t> image(protocol::unit::SettingsImage::kMaxSize);
  const ul::Discovery d = ul::DiscoverModules(usb);
  for (const auto& card : d.cards) {
    if (card.address != 11) continue;
    EXPECT_TRUE(ul::ReadSettingsImage(usb, 11, ul::SettingsLength(card), false, image));
    const auto* ip = image.data() + protocol::unit::Klf310Image::kIp;
    a.inSettings = std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." +
                   std::to_string(ip[2]) + "." + std::to_string(ip[3]);
  }
  return a;
}

// Something takes connections on the card's curve port at `host`.
bool Listening(const std::string& host) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(4010);
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return false;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// Two simulators of the demo unit side by side, as the demo's and a test's:
// each card serves on a loopback address its simulator picked, which its
// settings give and its runtime folder lists.
TEST_F(SimProcessTest, SimulatorsSideBySideServeTheirCardsOnAddressesOfTheirOwn) {
  TempDir other;
  SimProcess first(dir.path(), Args());
  SimProcess second(other.path(), {"--no-state"});
  const CardAddress a = KlfAddressIn(dir.path());
  const CardAddress b = KlfAddressIn(other.path());
  EXPECT_TRUE(a.listed.starts_with("127.")) << a.listed;
  EXPECT_EQ(a.listed, a.inSettings);
  EXPECT_EQ(b.listed, b.inSettings);
  EXPECT_NE(a.listed, b.listed);
  EXPECT_TRUE(WaitFor([&] { return Listening(a.listed) && Listening(b.listed); }));
  first.Stop();
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "klf310-addresses"));

  // The address the first one stored is served by another simulator when it
  // starts again: its card moves to an address of its own, not to share one.
  second.Stop();
  std::ofstream(other.path() / "scenario")
      << "unit serial=1234\nmodule address=11 type=11 ip=" << a.listed << "\n";
  second.Start({"--no-state", "--scenario", (other.path() / "scenario").string()});
  ASSERT_TRUE(WaitFor([&] { return Listening(a.listed); }));
  first.Start(Args());
  const CardAddress moved = KlfAddressIn(dir.path());
  EXPECT_NE(moved.listed, a.listed);
  EXPECT_EQ(moved.listed, moved.inSettings);
  EXPECT_TRUE(WaitFor([&] { return Listening(moved.listed); }));
}

}  // namespace
