// mrxctl against a real mrx520-sim process that misbehaves as a unit can: it
// stops answering, answers only some requests, or loses power part way
// through a flash. Every row checks the exit code and the first line said.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "../support/RunProgram.h"
#include "../support/SimProcess.h"
#include "desktop/firmware/CDoloThread.h"
#include "desktop/firmware/DoloPacket.h"
#include "platform/Bytes.h"
#include "platform/UnixDeviceIo.h"
#include "protocol/unit/DownloadBlock.h"
#include "protocol/unit/Frame.h"
#include "protocol/unit/ModuleDescriptor.h"
#include "protocol/unit/UnitCommand.h"
#include "sim/SimDeviceIo.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {
namespace {

using testing_support::RunProgram;
using testing_support::SimProcess;
using testing_support::TempDir;
namespace fw = desktop::firmware;

// Runs mrxctl against the unit in `dir`; `output` gets what it printed on
// the stream chosen by `streams` ("2>&1", or "2>&1 >/dev/null" for errors only).
int Mrxctl(const TempDir& dir, const std::string& args, std::string& output,
           const std::string& streams = "2>&1",
           std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  return RunProgram("MRX_RUNTIME_DIR=" + dir.path().string() +
                        " " MRX_BINARY_DIR "/tools/mrxctl/mrxctl " + args + " " + streams,
                    output, limit);
}

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

struct LinkFault {
  const char* name;
  std::vector<std::string> simArgs;
  bool stopped;  // SIGSTOP once it serves: the process is there, nothing answers
  const char* command;
  int exitCode;
  const char* firstLine;  // the start of the first line printed
};

void PrintTo(const LinkFault& row, std::ostream* os) {
  *os << row.name;
}

class LinkFaultTest : public ::testing::TestWithParam<LinkFault> {};

TEST_P(LinkFaultTest, EndsWithTheRightCodeAndMessage) {
  const LinkFault& row = GetParam();
  TempDir dir;
  std::vector<std::string> args = {"--no-state"};
  args.insert(args.end(), row.simArgs.begin(), row.simArgs.end());
  SimProcess sim(dir.path(), args);
  ASSERT_TRUE(sim.Running());
  if (row.stopped) sim.Signal(SIGSTOP);
  std::string text;
  // A stopped unit costs one reply limit per command, never one per module.
  const int rc = Mrxctl(dir, row.command, text, "2>&1", std::chrono::seconds(row.stopped ? 8 : 60));
  if (row.stopped) sim.Signal(SIGCONT);
  EXPECT_EQ(rc, row.exitCode) << text;
  EXPECT_EQ(FirstLine(text).rfind(row.firstLine, 0), 0u) << text;
}

const LinkFault kLinkFaults[] = {
    {"StoppedUnitDiscover", {}, true, "discover", 74, "mrxctl: the unit did not answer"},
    {"StoppedUnitSettingsRead", {}, true, "settings read 3", 74, "mrxctl: the unit did not answer"},
    {"StoppedUnitUpdate", {}, true, "update host", 74, "mrxctl: the unit did not answer"},
    {"EveryOtherExchangeFailsDiscover",
     {"--fail-every", "2"},
     false,
     "discover",
     0,
     "ADDR SUB TYPE MODEL"},
    {"EveryOtherExchangeFailsStatus",
     {"--fail-every", "2"},
     false,
     "status",
     0,
     "   0 MRX520    OK"},
    {"EveryThirdExchangeFailsUpdate",
     {"--fail-every", "3", "--restart-ms", "200"},
     false,
     "update host",
     0,
     // The backup before the update is read whole through the failures too.
     "Saved a backup of the unit's settings to "},
    {"NoModuleAtAnEmptyAddress",
     {},
     false,
     "settings read 15",
     69,
     "mrxctl: no module at address 15"},
};

INSTANTIATE_TEST_SUITE_P(Rows, LinkFaultTest, ::testing::ValuesIn(kLinkFaults),
                         [](const auto& row) { return std::string(row.param.name); });

// How many blocks the carried host image goes out in.
std::uint32_t HostBlocks() {
  const fw::_DoloPacket* host =
      fw::FindDoloPacket(GetDoloBase(), fw::kDoloUnitImage, fw::CDoloThread::kModelMrx,
                         fw::CDoloThread::kComponentHost);
  std::uint32_t blocks = 0;
  for (const fw::DoloSegment* s = host->segments; s != nullptr; s = s->next) {
    blocks += (s->length + fw::CDoloThread::kBlockSize - 1) / fw::CDoloThread::kBlockSize;
  }
  return blocks;
}

struct PowerCut {
  const char* name;
  std::uint32_t (*block)();  // 0: the erase
  const char* firstError;
  // Whether the row goes on to bring the unit back with a whole new update.
  // The unit keeps the same state after every one of these cuts (host erased,
  // boot software running), so one row pays for the 5,000-block update.
  bool updateAgain;
};

void PrintTo(const PowerCut& row, std::ostream* os) {
  *os << row.name;
}

class PowerCutTest : public ::testing::TestWithParam<PowerCut> {};

// The socket to the simulator process, where a lost answer is the power cut:
// the unit is gone from that moment, as a real one is, not only once the
// process has been taken down; on virtual time the next poll comes at once.
class PowerCutIo final : public platform::DeviceIo {
 public:
  PowerCutIo(const std::filesystem::path& dir, SimProcess& sim) : inner_(dir), sim_(sim) {}
  Handle Open(std::string_view path) override { return inner_.Open(path); }
  void Close(Handle h) override { inner_.Close(h); }
  bool Control(Handle h, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    if (inner_.Control(h, code, in, out, returned)) return true;
    // Once: should the process live on, the row fails on its exit status.
    if (!waited_) sim_.WaitForExit();
    waited_ = true;
    return false;
  }

 private:
  platform::UnixDeviceIo inner_;
  SimProcess& sim_;
  bool waited_ = false;
};

// Power lost during a host update: after the restart the unit runs only its
// boot software (flags bit 0 clear, no settings, no cards), as a real unit
// does; a new update brings it back.
TEST_P(PowerCutTest, LeavesTheHostSoftwareNotRunningUntilANewUpdate) {
  const PowerCut& row = GetParam();
  TempDir dir;
  const std::string state = (dir.path() / "state").string();
  // Back at once after the erase: the update below waits on virtual time, so
  // its presence polls pass before a restart of the real process would end.
  SimProcess sim(dir.path(), {"--state", state, "--restart-ms", "0", "--power-cut-at",
                              std::to_string(row.block())});
  ASSERT_TRUE(sim.Running());
  {
    // mrxctl's update over the real socket; the unit that lost power is
    // polled for the full 8 x 2 s in no real time.
    platform::VirtualClock clock;
    PowerCutIo io(dir.path(), sim);
    desktop::unitlink::CTiroUSB usb(&io);
    usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
    std::ostringstream out, err;
    EXPECT_EQ(tools::mrxctl::Run({"update", "host"}, usb, out, err, clock), kExitIoError)
        << err.str();
    const std::string text = err.str();
    EXPECT_EQ(FirstLine(text), row.firstError) << text;
    EXPECT_NE(text.find("ERROR: Please restart unit!\nmrxctl: the host update failed"),
              std::string::npos)
        << "said once, not once per remaining block:\n"
        << text;
    EXPECT_GE(clock.Milliseconds(),
              fw::CDoloThread::kPresencePolls * fw::CDoloThread::kPollIntervalMs)
        << "the unit was given every presence poll to come back";
  }
  const int status = sim.WaitForExit();
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

  // Switched on again with what it kept.
  std::filesystem::remove(dir.path() / "MRXUSBDevice0");
  sim.Start({"--state", state, "--restart-ms", "200"});
  ASSERT_TRUE(sim.Running());
  std::string text;
  ASSERT_EQ(Mrxctl(dir, "--json discover", text, "2>/dev/null"), 0) << text;
  auto modules = nlohmann::json::parse(text);
  ASSERT_EQ(modules.size(), 1u) << "the boot software reaches no card: " << text;
  EXPECT_EQ(modules[0]["flags"].get<int>() & protocol::unit::ModuleDescriptor::kFlagRunning, 0);

  const auto file = dir.path() / "main.bin";
  std::ofstream(file) << "kept";
  EXPECT_EQ(Mrxctl(dir, "settings read 0 " + file.string(), text), 69) << text;
  EXPECT_EQ(FirstLine(text).rfind("mrxctl: module 0 (MRX520) is not running its software", 0), 0u)
      << text;
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept");

  if (!row.updateAgain) return;
  ASSERT_EQ(Mrxctl(dir, "update host", text), 0) << text;
  EXPECT_NE(text.find("The unit reports host software V4.000"), std::string::npos) << text;
  ASSERT_EQ(Mrxctl(dir, "--json discover", text, "2>/dev/null"), 0) << text;
  modules = nlohmann::json::parse(text);
  EXPECT_EQ(modules.size(), 15u);
  EXPECT_EQ(modules[0]["version"], "V4.000");
  EXPECT_NE(modules[0]["flags"].get<int>() & protocol::unit::ModuleDescriptor::kFlagRunning, 0);
}

const PowerCut kPowerCuts[] = {
    {"AtTheErase", [] { return 0u; }, "ERROR: Please restart unit!", true},
    {"AtTheFirstBlock", [] { return 1u; }, "ERROR: Can't write to device", false},
    {"InTheMiddle", [] { return HostBlocks() / 2; }, "ERROR: Can't write to device", false},
    {"AtTheLastBlock", [] { return HostBlocks(); }, "ERROR: Can't write to device", false},
};

INSTANTIATE_TEST_SUITE_P(Rows, PowerCutTest, ::testing::ValuesIn(kPowerCuts),
                         [](const auto& row) { return std::string(row.param.name); });

// The in-process unit, with one card address whose exchanges run out the
// reply limit (on virtual time) and fail.
class SilentCardIo final : public platform::DeviceIo {
 public:
  SilentCardIo(sim::SimUnit& unit, platform::VirtualClock& clock, std::uint8_t silent)
      : inner_(unit), clock_(clock), silent_(silent) {}
  Handle Open(std::string_view path) override { return inner_.Open(path); }
  void Close(Handle h) override { inner_.Close(h); }
  bool Control(Handle h, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    if (in.size() > protocol::unit::RequestHeader::kModule &&
        in[protocol::unit::RequestHeader::kModule] == silent_) {
      clock_.Advance(platform::UnixDeviceIo::kReplyTimeoutMs);
      return false;
    }
    return inner_.Control(h, code, in, out, returned);
  }

 private:
  sim::SimDeviceIo inner_;
  platform::VirtualClock& clock_;
  std::uint8_t silent_;
};

// A card that keeps silent is told apart from an empty address: asked once
// (asking again would only wait as long again), named, and exit 74; an
// address after it was never reached, an empty one is 69.
TEST(MrxctlSilentCardTest, IsToldApartFromAnEmptyAddress) {
  platform::VirtualClock clock;
  sim::SimUnit unit(sim::DefaultScenario(), clock);
  SilentCardIo io(unit, clock, 3);
  desktop::unitlink::CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  struct Row {
    std::vector<std::string> args;
    int code;
    const char* message;
  } rows[] = {
      {{"discover"}, kExitIoError, "mrxctl: module 3 did not answer\n"},
      {{"status"}, kExitIoError, "mrxctl: module 3 did not answer\n"},
      {{"settings", "read", "3"}, kExitIoError, "mrxctl: module 3 did not answer\n"},
      {{"settings", "read", "5"}, kExitIoError, "mrxctl: module 3 did not answer\n"},
      {{"settings", "read", "2"}, kExitOk, ""},
      {{"settings", "read", "15"}, kExitUnavailable, "mrxctl: no module at address 15\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.back());
    std::ostringstream out, err;
    const auto before = clock.Milliseconds();
    EXPECT_EQ(tools::mrxctl::Run(row.args, usb, out, err, clock), row.code) << err.str();
    EXPECT_EQ(err.str(), row.message);
    EXPECT_LE(clock.Milliseconds() - before, platform::UnixDeviceIo::kReplyTimeoutMs)
        << "one wait, not one per attempt";
  }
}

// The in-process unit behind a transport that loses some of an update on the
// way: a command that always fails, blocks that never land though the
// transport says they went, or a command the unit takes whose answer is lost.
class LossyUpdateIo final : public platform::DeviceIo {
 public:
  using Lose = std::function<bool(std::uint8_t code, std::span<const std::uint8_t> data)>;
  LossyUpdateIo(sim::SimUnit& unit, Lose fail, Lose swallow, Lose answerLost = nullptr)
      : inner_(unit),
        fail_(std::move(fail)),
        swallow_(std::move(swallow)),
        answerLost_(std::move(answerLost)) {}
  Handle Open(std::string_view path) override { return inner_.Open(path); }
  void Close(Handle h) override { inner_.Close(h); }
  bool Control(Handle h, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    const std::uint8_t command = in[protocol::unit::RequestHeader::kCode];
    const auto data = in.subspan(protocol::unit::RequestHeader::kSize);
    if (fail_ && fail_(command, data)) return false;
    if (swallow_ && swallow_(command, data)) return true;
    const bool answered = inner_.Control(h, code, in, out, returned);
    return answered && !(answerLost_ && answerLost_(command, data));
  }

 private:
  sim::SimDeviceIo inner_;
  Lose fail_, swallow_, answerLost_;
};

bool Is(std::uint8_t code, protocol::unit::UnitCommand command) {
  return code == protocol::unit::Code(command);
}

// An update that did not take is a failure with the reason, never "Download
// finished!" followed by success.
TEST(MrxctlUpdateTruthTest, AnUpdateThatDidNotTakeFailsWithItsReason) {
  using protocol::unit::UnitCommand;
  struct Row {
    const char* name;
    LossyUpdateIo::Lose fail, swallow;
    const char* firstError;
  } rows[] = {
      {"blocks that never land", nullptr,
       [](std::uint8_t c, auto) { return Is(c, UnitCommand::kWriteDownloadBlock); },
       "mrxctl: the unit still reports V2.105 (host software), not the carried V4.000; the "
       "update did not take"},
      // An unanswered closing command is decided by the version the unit reports.
      {"a refused start", [](std::uint8_t c, auto) { return Is(c, UnitCommand::kStartHost); },
       nullptr,
       "mrxctl: the unit did not answer the start of the download and now reports V2.105 (host "
       "software), not the carried V4.000; the update did not take"},
      {"a refused end", [](std::uint8_t c, auto) { return Is(c, UnitCommand::kEndDownload); },
       nullptr,
       "mrxctl: the unit did not answer the end of the download and now reports V2.105 (host "
       "software), not the carried V4.000; the update did not take"},
      // Three blocks fail every attempt while the unit stays: one line, counted.
      {"blocks that keep failing",
       [](std::uint8_t c, std::span<const std::uint8_t> data) {
         const std::uint32_t at = platform::GetU32(data, protocol::unit::DownloadBlock::kAddress);
         return Is(c, UnitCommand::kWriteDownloadBlock) &&
                (at == 0x10000 || at == 0x10034 || at == 0x10068);
       },
       nullptr, "ERROR: Can't write to device (3 blocks)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    platform::VirtualClock clock;
    sim::SimUnit unit(sim::DefaultScenario(), clock);
    LossyUpdateIo io(unit, row.fail, row.swallow);
    desktop::unitlink::CTiroUSB usb(&io);
    usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
    std::ostringstream out, err;
    EXPECT_EQ(tools::mrxctl::Run({"update", "host"}, usb, out, err, clock), kExitIoError)
        << err.str();
    EXPECT_EQ(FirstLine(err.str()), row.firstError) << err.str();
    const std::string all = err.str();
    EXPECT_EQ(all.find("ERROR: Can't write to device\n"), std::string::npos)
        << "the block error is never repeated per block";
  }
}

// The unit takes the start but its answer is lost on the way: the version it
// reports afterwards decides, and the update ends in success saying so.
TEST(MrxctlUpdateTruthTest, ALostAnswerToATakenStartIsDecidedByTheVersionReported) {
  platform::VirtualClock clock;
  sim::SimUnit unit(sim::DefaultScenario(), clock);
  LossyUpdateIo io(unit, nullptr, nullptr, [](std::uint8_t c, auto) {
    return Is(c, protocol::unit::UnitCommand::kStartHost);
  });
  desktop::unitlink::CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  std::ostringstream out, err;
  EXPECT_EQ(tools::mrxctl::Run({"update", "host", "--no-backup"}, usb, out, err, clock), kExitOk)
      << err.str();
  EXPECT_NE(out.str().find("The unit did not answer the start of the download, but it now "
                           "reports host software V4.000."),
            std::string::npos)
      << out.str();
}

// A module without a settings image is refused by a read as by a write, and
// the file given is left as it was.
TEST(MrxctlNoImageTest, SettingsReadRefusesAModuleWithoutAnImage) {
  platform::VirtualClock clock;
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.modules.at(2).settingsLength = 0;
  sim::SimUnit unit(scenario, clock);
  sim::SimDeviceIo io(unit);
  desktop::unitlink::CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  TempDir dir;
  const auto file = dir.path() / "card.bin";
  std::ofstream(file) << "kept";
  const std::uint8_t address = scenario.modules.at(2).address;
  std::ostringstream out, err;
  EXPECT_EQ(tools::mrxctl::Run({"settings", "read", std::to_string(address), file.string()}, usb,
                               out, err, clock),
            kExitDataError);
  EXPECT_NE(err.str().find(") has no settings image"), std::string::npos) << err.str();
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept");
}

}  // namespace
}  // namespace tools::mrxctl
