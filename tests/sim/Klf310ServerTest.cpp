// The simulated KLF310 card's TCP ports in process, reached by the desktop's
// own link and update worker: curves, the update and its version over USB,
// requests the card does not take, and curves kept across a restart and a stop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "desktop/firmware/DoloPacket.h"
#include "desktop/firmware/WorkerMessages.h"
#include "desktop/roomcorrection/CKLF310Thread.h"
#include "desktop/roomcorrection/KlfLink.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/Clock.h"
#include "platform/RecordingTarget.h"
#include "protocol/klf/KlfMessage.h"
#include "protocol/unit/Klf310Image.h"
#include "sim/Klf310Server.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimUnit.h"
#include "sim/cards/Klf310Versions.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace sim {
namespace {

namespace pk = protocol::klf;
namespace pu = protocol::unit;
namespace rc = desktop::roomcorrection;
using Bytes = std::vector<std::uint8_t>;
using testing_support::WaitFor;

constexpr std::uint8_t kCardAddress = 11;  // the demo unit's KLF310

// A loopback address of this test process alone, so test programs running
// side by side never meet on ports 4000 and 4010.
std::string OwnLoopback(std::array<std::uint8_t, 4>& ip, int salt) {
  const auto pid = static_cast<unsigned>(getpid());
  ip = {127, static_cast<std::uint8_t>(1 + (pid >> 16) % 254),
        static_cast<std::uint8_t>((pid >> 8) & 0xFF),
        static_cast<std::uint8_t>(1 + ((pid & 0xFF) + static_cast<unsigned>(salt) * 37) % 253)};
  return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
         std::to_string(ip[3]);
}

Scenario WithCardAt(const std::array<std::uint8_t, 4>& ip) {
  Scenario s = DefaultScenario();
  for (ModuleRecord& m : s.modules) {
    if (m.address == kCardAddress) m.ip = ip;
  }
  return s;
}

// A curve where every field of every bin differs from its neighbours'.
std::vector<pk::CurveBin> Pattern(int seed) {
  std::vector<pk::CurveBin> bins(pk::CurveBin::kBinCount);
  for (int k = 0; k < pk::CurveBin::kBinCount; ++k) {
    auto& b = bins[static_cast<std::size_t>(k)];
    for (int r = 0; r < pk::CurveBin::kRoomCount; ++r) {
      b.roomLevel[static_cast<std::size_t>(r)] =
          static_cast<std::uint16_t>((k * 7 + r + seed) % 1021);
    }
    b.amplitude = static_cast<std::int8_t>((k + seed) % 241 - 120);
    b.phase = static_cast<std::int16_t>((k * 3 + seed) % 4001 - 2000);
  }
  return bins;
}

class Klf310ServerTest : public ::testing::Test {
 protected:
  void StartUnit(int salt, std::filesystem::path stateFile = {}) {
    host = OwnLoopback(ip, salt);
    unit = std::make_unique<SimUnit>(WithCardAt(ip), platform::DefaultClock(), stateFile);
    Klf310Server::Options options;
    options.restartMs = 200;
    options.splitEvery = 3;  // often, so every transfer meets a split reply
    server = std::make_unique<Klf310Server>(*unit, options);
    std::string error;
    ASSERT_TRUE(server->Start(error)) << error;
    ASSERT_TRUE(WaitFor([&] {
      rc::KlfLink probe;
      return probe.Connect(host, pk::kCurvePort);
    }));
  }
  void TearDown() override {
    if (server) server->Stop();
  }

  std::array<std::uint8_t, 4> ip{};
  std::string host;
  std::unique_ptr<SimUnit> unit;
  std::unique_ptr<Klf310Server> server;
};

TEST_F(Klf310ServerTest, CurveWrittenAndReadBackThroughTheLink) {
  StartUnit(1);
  const auto curve = Pattern(5);
  rc::KlfLink link;
  ASSERT_TRUE(link.Connect(host, pk::kCurvePort));
  ASSERT_TRUE(link.WriteCurve(3, 0, curve));
  std::vector<pk::CurveBin> back(pk::CurveBin::kBinCount);
  ASSERT_TRUE(link.ReadCurve(3, 0, back));
  EXPECT_EQ(back, curve);
  // The card took it into channel 3 only.
  EXPECT_EQ(unit->KlfCurve(kCardAddress, 3), curve);
  EXPECT_NE(unit->KlfCurve(kCardAddress, 2), curve);
  // A range in the middle comes back from where it was asked.
  std::vector<pk::CurveBin> middle(300);
  ASSERT_TRUE(link.ReadCurve(3, 1000, middle));
  EXPECT_TRUE(std::equal(middle.begin(), middle.end(), curve.begin() + 1000));
  EXPECT_GT(server->SplitReplies(), 0U) << "no reply came in two pieces";
}

// Requests the card does not take end the connection at once, and change nothing.
TEST_F(Klf310ServerTest, RequestsTheCardDoesNotTakeEndTheConnection) {
  StartUnit(2);
  const auto before = unit->KlfCurve(kCardAddress, 0);
  const std::vector<pk::CurveBin> one(1);
  struct Case {
    const char* name;
    std::uint16_t port;
    Bytes request;
  };
  const auto read = [](std::uint16_t channel, std::uint16_t count, std::uint16_t first) {
    const auto m = pk::EncodeReadCurve({channel, count, first, 0});
    return Bytes(m.begin(), m.end());
  };
  Bytes shortWrite = pk::EncodeWriteCurve({0, 1, 0, pk::CurveRange::kFlagsLast}, one);
  shortWrite[2] = 16;  // a length field other than the fixed 1288
  shortWrite[3] = 0;
  shortWrite.resize(20);
  const auto erase = pk::EncodeBare(pk::command::kEraseFlash);
  const Case cases[] = {
      {"channel 16", pk::kCurvePort, read(16, 1, 0)},
      {"161 bins", pk::kCurvePort, read(0, 161, 0)},
      {"past bin 2047", pk::kCurvePort, read(0, 160, 1900)},
      {"write of the wrong length", pk::kCurvePort, shortWrite},
      {"update command on the curve port", pk::kCurvePort, Bytes(erase.begin(), erase.end())},
      {"erase without the boot software", pk::kUpdatePort, Bytes(erase.begin(), erase.end())},
      {"length beyond the buffer", pk::kCurvePort, Bytes{0x12, 0x00, 0x81, 0x05}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rc::KlfLink link;
    link.SetTimeouts(2000, 2000);
    ASSERT_TRUE(link.Connect(host, c.port));
    Bytes reply;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.Exchange(c.request, reply));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500))
        << "the card kept the client waiting instead of ending the connection";
  }
  EXPECT_EQ(unit->KlfCurve(kCardAddress, 0), before);
}

TEST_F(Klf310ServerTest, UpdateThroughTheWorkerReportsTheNewVersionOverUsb) {
  StartUnit(3);
  const desktop::firmware::_DoloPacket* image =
      desktop::firmware::FindDoloPacket(GetDoloBase(), desktop::firmware::kDoloKlf310,
                                        rc::CKLF310Thread::kModel, rc::CKLF310Thread::kComponent);
  ASSERT_NE(image, nullptr);

  SimDeviceIo io(*unit);
  desktop::unitlink::CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  auto application = [&] {
    desktop::unitlink::ModuleInfo info;
    EXPECT_TRUE(desktop::unitlink::ReadModuleDescriptor(usb, kCardAddress, info));
    return pu::Klf310VersionEntry::Decode(
        std::span(info.descriptor).subspan(pu::Klf310VersionEntry::kMainDescriptorOffset));
  };
  const auto before = application();
  ASSERT_TRUE(before.valid);
  ASSERT_NE(before.major, desktop::firmware::DoloMajor(image->version));

  // The worker's own waits run in virtual time; the card restarts in real time.
  platform::VirtualClock clock;
  platform::RecordingTarget owner;
  rc::CKLF310Thread worker(owner, host, clock);
  worker.Resume();
  ASSERT_TRUE(owner.WaitFor(desktop::firmware::WM_WORKER_FINISHED, std::chrono::seconds(60)));
  worker.Join();
  const auto messages = owner.Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().wParam, 1) << "the update failed";
  bool finished = false;
  for (const auto& m : messages) {
    EXPECT_EQ(m.text.find("ERROR"), std::string::npos) << m.text;
    finished = finished || m.text.starts_with("Download finished");
  }
  EXPECT_TRUE(finished);

  // The card comes back running what was flashed; the boot entry stays.
  ASSERT_TRUE(WaitFor([&] { return !server->InBootSoftware(kCardAddress); }));
  const auto after = application();
  EXPECT_TRUE(after.valid);
  EXPECT_EQ(after.major, desktop::firmware::DoloMajor(image->version));
  EXPECT_EQ(after.minor, desktop::firmware::DoloMinor(image->version));
  EXPECT_EQ(after.day, image->day);
  EXPECT_EQ(after.month, image->month);
  EXPECT_EQ(after.year, image->year);
  // And it serves curves again.
  EXPECT_TRUE(WaitFor([&] {
    rc::KlfLink link;
    return link.Connect(host, pk::kCurvePort);
  }));
}

// A block outside the application area is refused and leaves the card in its
// boot software, without a new version.
TEST_F(Klf310ServerTest, BlockOutsideTheApplicationAreaIsRefused) {
  StartUnit(4);
  rc::KlfLink link;
  Bytes reply;
  ASSERT_TRUE(link.Connect(host, pk::kUpdatePort));
  ASSERT_TRUE(link.Exchange(pk::EncodeBare(pk::command::kStartBoot), reply));
  link.Close();
  ASSERT_TRUE(WaitFor([&] { return link.Connect(host, pk::kUpdatePort); }));
  ASSERT_TRUE(link.Exchange(pk::EncodeBare(pk::command::kEraseFlash), reply));
  const Bytes data(16, 0x5A);
  const pk::WriteBlock inside{pk::CardFlash::kApplicationStart, data};
  const pk::WriteBlock below{pk::CardFlash::kApplicationStart - 16, data};
  const pk::WriteBlock across{pk::CardFlash::kApplicationEnd - 8, data};
  EXPECT_TRUE(link.Exchange(inside.Encode(), reply));
  EXPECT_FALSE(link.Exchange(below.Encode(), reply));
  ASSERT_TRUE(link.Connect(host, pk::kUpdatePort));
  EXPECT_FALSE(link.Exchange(across.Encode(), reply));
  EXPECT_TRUE(server->InBootSoftware(kCardAddress));
  // Start without an ended download: the boot software stays.
  ASSERT_TRUE(link.Connect(host, pk::kUpdatePort));
  EXPECT_TRUE(link.Exchange(pk::EncodeBare(pk::command::kStartSoftware), reply));
  EXPECT_TRUE(server->InBootSoftware(kCardAddress));
  EXPECT_FALSE(link.Connect(host, pk::kCurvePort) && link.IsOpen() &&
               link.Exchange(pk::EncodeReadCurve({0, 1, 0, 0}), reply));
}

TEST_F(Klf310ServerTest, CurvesAreKeptInTheStateFileAcrossARestart) {
  testing_support::TempDir dir;
  const auto stateFile = dir.path() / "state";
  StartUnit(5, stateFile);
  const auto curve = Pattern(9);
  {
    rc::KlfLink link;
    ASSERT_TRUE(link.Connect(host, pk::kCurvePort));
    ASSERT_TRUE(link.WriteCurve(7, 0, curve));
  }
  server->Stop();
  server.reset();
  unit.reset();
  SimUnit again(WithCardAt(ip), platform::DefaultClock(), stateFile);
  EXPECT_TRUE(again.StateError().empty()) << again.StateError();
  EXPECT_EQ(again.KlfCurve(kCardAddress, 7), curve);
  // Channels never written read flat.
  EXPECT_EQ(again.KlfCurve(kCardAddress, 6),
            std::vector<pk::CurveBin>(pk::CurveBin::kBinCount, cards::DefaultCurveBin()));
}

// A client that holds its connection open, idle in the middle of a curve
// transfer, does not hold up the card's stop, and its cut transfer changes nothing.
TEST_F(Klf310ServerTest, StopEndsAnIdleConnectionAndDropsItsUnfinishedTransfer) {
  testing_support::TempDir dir;
  const auto stateFile = dir.path() / "state";
  StartUnit(6, stateFile);
  const auto curve = Pattern(11);
  const std::span<const pk::CurveBin> first(curve.data(), pk::CurveRange::kMaxBins);
  rc::KlfLink link;
  ASSERT_TRUE(link.Connect(host, pk::kCurvePort));
  Bytes reply;
  ASSERT_TRUE(link.Exchange(
      pk::EncodeWriteCurve({4, pk::CurveRange::kMaxBins, 0, pk::CurveRange::kFlagsMore}, first),
      reply));
  const auto started = std::chrono::steady_clock::now();
  server->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5))
      << "the stop waited for the client's idle limit";
  EXPECT_FALSE(link.Exchange(pk::EncodeReadCurve({4, 1, 0, 0}), reply));
  server.reset();
  unit.reset();
  SimUnit again(WithCardAt(ip), platform::DefaultClock(), stateFile);
  EXPECT_EQ(again.KlfCurve(kCardAddress, 4),
            std::vector<pk::CurveBin>(pk::CurveBin::kBinCount, cards::DefaultCurveBin()));
}

// A curve is taken whole with a transfer's last message: one cut short (the
// connection ends before it) leaves the curve as it was, in the card and in
// the state file.
TEST_F(Klf310ServerTest, ATransferCutShortLeavesTheCurveAsItWas) {
  testing_support::TempDir dir;
  const auto stateFile = dir.path() / "state";
  StartUnit(6, stateFile);
  const auto old = Pattern(2);
  {
    rc::KlfLink link;
    ASSERT_TRUE(link.Connect(host, pk::kCurvePort));
    ASSERT_TRUE(link.WriteCurve(4, 0, old));
  }
  const auto next = Pattern(8);
  {
    rc::KlfLink link;
    ASSERT_TRUE(link.Connect(host, pk::kCurvePort));
    for (std::uint16_t first : {0, 160}) {
      const pk::CurveRange range{4, 160, first, pk::CurveRange::kFlagsMore};
      Bytes reply;
      ASSERT_TRUE(link.Exchange(
          pk::EncodeWriteCurve(range, std::span(next).subspan(first, range.count)), reply));
    }
    EXPECT_EQ(unit->KlfCurve(kCardAddress, 4), old) << "taken before the transfer's end";
  }
  server->Stop();
  server.reset();
  EXPECT_EQ(unit->KlfCurve(kCardAddress, 4), old);
  unit.reset();
  SimUnit again(WithCardAt(ip), platform::DefaultClock(), stateFile);
  EXPECT_EQ(again.KlfCurve(kCardAddress, 4), old);
}

// A connection that ends without its transfer's last message, while a new
// connection already sends the same curve again (a client asking again after
// a lost reply), takes only its own transfer along.
TEST_F(Klf310ServerTest, AConnectionEndingLateLeavesTheNewConnectionsTransferWhole) {
  StartUnit(7);
  const auto curve = Pattern(5);
  const pk::CurveRange firstPart{4, 160, 0, pk::CurveRange::kFlagsMore};
  const auto firstBins = std::span<const pk::CurveBin>(curve).first(160);
  Bytes reply;
  rc::KlfLink cut;
  ASSERT_TRUE(cut.Connect(host, pk::kCurvePort));
  ASSERT_TRUE(cut.Exchange(pk::EncodeWriteCurve(firstPart, firstBins), reply));
  rc::KlfLink again;
  ASSERT_TRUE(again.Connect(host, pk::kCurvePort));
  ASSERT_TRUE(again.Exchange(pk::EncodeWriteCurve(firstPart, firstBins), reply));
  cut.Close();
  // Give the first connection's end time to reach the card before the rest.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (std::size_t first = 160; first < curve.size(); first += pk::CurveRange::kMaxBins) {
    const auto count = std::min(pk::CurveRange::kMaxBins, curve.size() - first);
    const bool last = first + count == curve.size();
    const pk::CurveRange range{4, static_cast<std::uint16_t>(count),
                               static_cast<std::uint16_t>(first),
                               last ? pk::CurveRange::kFlagsLast : pk::CurveRange::kFlagsMore};
    ASSERT_TRUE(
        again.Exchange(pk::EncodeWriteCurve(range, std::span(curve).subspan(first, count)), reply));
  }
  EXPECT_EQ(unit->KlfCurve(kCardAddress, 4), curve);
}

}  // namespace
}  // namespace sim
