#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "../support/RunProgram.h"
#include "../support/SimProcess.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "sim/SimDeviceIo.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {
namespace {

using testing_support::TempDir;

class MrxctlTest : public ::testing::Test {
 protected:
  MrxctlTest() : unit(sim::DefaultScenario(), clock), io(unit), usb(&io) {
    usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  }
  int Run(std::vector<std::string> args) {
    out.str({});
    err.str({});
    return tools::mrxctl::Run(args, usb, out, err, clock);
  }
  platform::VirtualClock clock;
  sim::SimUnit unit;
  sim::SimDeviceIo io;
  desktop::unitlink::CTiroUSB usb;
  std::ostringstream out, err;
  TempDir dir;
};

TEST_F(MrxctlTest, DiscoverListsEveryAnsweringModule) {
  ASSERT_EQ(Run({"discover"}), kExitOk) << err.str();
  EXPECT_NE(out.str().find("MRX520    V2.105   05.03.2024"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("unknown"), std::string::npos) << "type 12 is listed, without a tab";
  // The TAB column: the class of the tab myMRX shows, "-" for a type without one.
  std::map<int, std::string> tabs;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    int address = -1;
    if (!(fields >> address)) continue;  // the heading
    tabs[address] = line.substr(line.find_last_of(' ') + 1);
  }
  const std::pair<int, const char*> expected[] = {{0, "CPropertyMRX520"},
                                                  {1, "CPropertyQVI520"},
                                                  {4, "CPropertyHEJ520"},
                                                  {6, "CPropertyTWR310i"},
                                                  {9, "CPropertyJOV"},
                                                  {11, "CPropertyKLF310"},
                                                  {12, "-"}};
  for (const auto& [address, tab] : expected)
    EXPECT_EQ(tabs[address], tab) << "address " << address;

  ASSERT_EQ(Run({"--json", "discover"}), kExitOk);
  const auto modules = nlohmann::json::parse(out.str());
  ASSERT_TRUE(modules.is_array());
  ASSERT_EQ(modules.size(), 15u) << out.str();
  EXPECT_EQ(modules[0]["settingsLength"], 128);
  EXPECT_EQ(modules[0]["version"], "V2.105");
  EXPECT_EQ(modules[0]["date"], "05.03.2024");
  const auto& front = modules[14];
  EXPECT_EQ(front["address"], 14);
  EXPECT_EQ(front["subAddress"], 0);
  EXPECT_EQ(front["type"], 16);
  EXPECT_EQ(front["model"], "Front26");
}

TEST_F(MrxctlTest, SettingsRoundTripThroughAFile) {
  const auto file = (dir.path() / "main.bin").string();
  ASSERT_EQ(Run({"settings", "read", "0", file}), kExitOk) << err.str();
  std::string image;
  ASSERT_TRUE(platform::ReadWholeFile(file, image));
  ASSERT_EQ(image.size(), 128u);
  image[77] = 10;
  std::string error;
  ASSERT_TRUE(platform::WriteFileAtomically(file, image, error));
  ASSERT_EQ(Run({"settings", "write", "0", file}), kExitOk) << err.str();
  EXPECT_EQ(unit.StoredSettings(0)[77], 10);
}

TEST_F(MrxctlTest, RefusesWhatDoesNotFitWithTheRightExitCode) {
  const auto shortFile = (dir.path() / "short.bin").string();
  std::ofstream(shortFile) << "abc";
  const auto largeFile = (dir.path() / "large.bin").string();
  std::ofstream(largeFile) << std::string(2049, 'x');
  struct Row {
    const char* name;
    std::vector<std::string> args;
    int code;
    const char* message;
  } rows[] = {
      {"no command", {}, kExitUsage, "Usage"},
      {"unknown command", {"frobnicate"}, kExitUsage, "mrxctl: unknown command 'frobnicate'"},
      {"unknown subcommand",
       {"settings", "save", "1"},
       kExitUsage,
       "mrxctl settings: unknown command 'save'; it takes one of read, write, reset"},
      {"no subcommand", {"clock"}, kExitUsage, "mrxctl clock: give one of get, sync"},
      {"extra argument",
       {"discover", "now"},
       kExitUsage,
       "mrxctl discover: extra argument 'now'; it takes no arguments"},
      {"one argument too many",
       {"settings", "read", "1", "a.bin", "b.bin"},
       kExitUsage,
       "mrxctl settings read: extra argument 'b.bin'; it takes ADDRESS [FILE]"},
      {"missing argument",
       {"settings", "write", "1"},
       kExitUsage,
       "mrxctl settings write: FILE is required"},
      {"unknown option",
       {"settings", "reset", "1", "--new-serial"},
       kExitUsage,
       "mrxctl settings reset: unknown option '--new-serial'\n"},
      {"bad address",
       {"settings", "read", "x"},
       kExitUsage,
       "mrxctl settings read: ADDRESS: 'x' is not a module address (0-15)"},
      {"address too high", {"status", "16"}, kExitUsage, "not a module address"},
      {"bad software", {"update", "firmware"}, kExitUsage, "mrxctl update: SOFTWARE: firmware"},
      {"wrong size", {"settings", "write", "1", shortFile}, kExitDataError, "holds 3 bytes"},
      {"larger than any image",
       {"settings", "write", "1", largeFile},
       kExitDataError,
       "too large (2049 bytes; at most 2048)"},
      {"no settings",
       {"settings", "write", "14", shortFile},
       kExitDataError,
       "has no settings image"},
      {"missing file", {"settings", "write", "1", "/nonexistent/x"}, kExitIoError, "cannot read"},
      {"absent module", {"settings", "read", "15"}, kExitUnavailable, "no module at address 15"},
  };
  const auto before = unit.StoredSettings(1);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(Run(r.args), r.code);
    EXPECT_NE(err.str().find(r.message), std::string::npos) << err.str();
  }
  EXPECT_EQ(unit.StoredSettings(1), before) << "a refused write leaves the unit alone";
}

TEST_F(MrxctlTest, HelpAndVersionComeFromTheCommandDefinitions) {
  ASSERT_EQ(Run({"--version"}), kExitOk);
  EXPECT_EQ(out.str(), "mrxctl " MRX_PROJECT_VERSION "\n");

  ASSERT_EQ(Run({"--help"}), kExitOk);
  for (const char* text : {"discover", "settings", "clock", "status", "packages", "update",
                           "remote", "--json", "74  an exchange with the unit failed"}) {
    EXPECT_NE(out.str().find(text), std::string::npos) << text << " in\n" << out.str();
  }
  ASSERT_EQ(Run({"settings", "reset", "--help"}), kExitOk);
  EXPECT_NE(out.str().find("--new-identity"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("ADDRESS"), std::string::npos) << out.str();
  EXPECT_EQ(unit.ExchangeCount(), 0u) << "help asks nothing of the unit";
}

TEST_F(MrxctlTest, WithoutAUnitEveryCommandSaysSo) {
  unit.RefuseOpensFor(1000);
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"discover"}, {"status"}, {"clock", "get"}, {"settings", "read", "0"}}) {
    SCOPED_TRACE(args[0]);
    EXPECT_EQ(Run(args), kExitUnavailable);
    EXPECT_NE(err.str().find("no MRX520 unit found"), std::string::npos);
  }
}

TEST_F(MrxctlTest, ClockSyncAndStatus) {
  ASSERT_EQ(Run({"clock", "sync"}), kExitOk) << err.str();
  const auto now = platform::DefaultClock().Now();
  char expected[16];
  std::snprintf(expected, sizeof expected, "%02d.%02d.%04d", now.day, now.month, now.year);
  EXPECT_NE(out.str().find(expected), std::string::npos) << out.str();

  unit.SetEepromError(true);
  EXPECT_EQ(Run({"status", "3"}), kExitOk);
  EXPECT_NE(out.str().find("EEPROM-ERROR"), std::string::npos);
  ASSERT_EQ(Run({"status", "3", "--json"}), kExitOk);
  const auto records = nlohmann::json::parse(out.str());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["address"], 3);
  EXPECT_EQ(records[0]["status"], "EEPROM-ERROR");
}

TEST_F(MrxctlTest, PackagesListsTheEmbeddedSet) {
  ASSERT_EQ(Run({"packages"}), kExitOk) << err.str();
  std::istringstream lines(out.str());
  std::vector<std::string> rows;
  for (std::string l; std::getline(lines, l);) rows.push_back(l);
  ASSERT_EQ(rows.size(), 17u) << "a heading and rows 1-16";
  EXPECT_EQ(
      rows[1].rfind(
          "   1 0           0              V0.000   2009-01-27 20:02:54        0  0x00000000", 0),
      0u)
      << rows[1];
  EXPECT_NE(rows[2].find("   6 1 MRX       2 Host         V4.000   2009-01-27 20:01:52"),
            std::string::npos)
      << rows[2];
  EXPECT_NE(rows[4].find("   5 4 ZEL520    19 DSP         V2.009   2008-08-24 17:01:53"),
            std::string::npos)
      << rows[4];
  EXPECT_NE(rows[4].find("0x00"), std::string::npos) << "a DSP part has its checksum";
  EXPECT_NE(rows[16].find("   9 6 PocketPC  141            V4.000"), std::string::npos) << rows[16];

  ASSERT_EQ(Run({"--json", "packages"}), kExitOk);
  const auto packages = nlohmann::json::parse(out.str());
  ASSERT_EQ(packages.size(), 16u);
  const auto& host = packages[1];
  EXPECT_EQ(host["kind"], 6);
  EXPECT_EQ(host["model"], 1);
  EXPECT_EQ(host["modelName"], "MRX");
  EXPECT_EQ(host["component"], 2);
  EXPECT_EQ(host["componentName"], "Host");
  EXPECT_EQ(host["version"], "V4.000");
  EXPECT_EQ(host["date"], "2009-01-27 20:01:52");
}

TEST_F(MrxctlTest, UpdateHostReplacesTheSoftwareAndReportsEveryStep) {
  ASSERT_EQ(Run({"update", "host"}), kExitOk) << err.str();
  const std::string text = out.str();
  EXPECT_NE(text.find("Erasing firmware ..."), std::string::npos) << text;
  EXPECT_NE(text.find("%: Download of V4.000 in progress ("), std::string::npos) << text;
  EXPECT_NE(text.find("[##############################] 100%\nDownload finished!"),
            std::string::npos)
      << text;
  ASSERT_EQ(Run({"discover"}), kExitOk);
  EXPECT_NE(out.str().find("MRX520    V4.000   27.01.2009"), std::string::npos) << out.str();
}

TEST_F(MrxctlTest, UpdateRefusesWithoutAUnitAndFailsWhenTheUnitDoesNotComeBack) {
  EXPECT_EQ(Run({"update"}), kExitUsage);
  EXPECT_NE(err.str().find("mrxctl update: SOFTWARE is required"), std::string::npos) << err.str();
  unit.RefuseOpensFor(1000);
  EXPECT_EQ(Run({"update", "host"}), kExitUnavailable);
  EXPECT_NE(err.str().find("no MRX520 unit found"), std::string::npos);
  EXPECT_EQ(unit.ExchangeCount(), 0u) << "nothing was sent";
}

TEST(MrxctlUpdateTest, FailsWithExit74WhenTheUnitDoesNotComeBack) {
  platform::VirtualClock clock;
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.faults.restartMs = 60000;
  sim::SimUnit unit(scenario, clock);
  sim::SimDeviceIo io(unit);
  desktop::unitlink::CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  std::ostringstream out, err;
  EXPECT_EQ(tools::mrxctl::Run({"update", "boot"}, usb, out, err, clock), kExitIoError);
  EXPECT_NE(err.str().find("ERROR: Please restart unit!\nmrxctl: the boot update failed"),
            std::string::npos)
      << err.str();
  EXPECT_NE(out.str().find("Erasing boot - DON'T SWITCH OFF OR DISCONNECT MRX!!!"),
            std::string::npos);
}

// The real programs: MRX_TRACE=1 shows every frame that crossed.
TEST(MrxctlProcessTest, TracePrintsTheFramesThatCrossed) {
  TempDir dir;
  testing_support::SimProcess sim(dir.path(), {"--no-state"});
  std::string trace;
  EXPECT_EQ(testing_support::RunProgram("MRX_TRACE=1 MRX_RUNTIME_DIR=" + dir.path().string() +
                                            " " MRX_BINARY_DIR
                                            "/tools/mrxctl/mrxctl discover 2>&1 >/dev/null",
                                        trace),
            0);
  EXPECT_EQ(trace.rfind("> 02 00 00 00 00 00\n< 02 34 00 00 ", 0), 0u) << trace;
  // 15 modules answer and the 16th address is never asked: 15 requests, 15 replies.
  std::istringstream lines(trace);
  int requests = 0, replies = 0;
  for (std::string l; std::getline(lines, l);) {
    if (l.starts_with("> ")) ++requests;
    if (l.starts_with("< ")) {
      ++replies;
      EXPECT_EQ(l.size(), 2u + 64 * 3 - 1) << "all 64 reply bytes";
    }
  }
  EXPECT_EQ(requests, 15);
  EXPECT_EQ(replies, 15);
}

TEST(MrxctlProcessTest, NoUnitIsAClearMessageAndExit69) {
  TempDir dir;
  std::string text;
  EXPECT_EQ(testing_support::RunProgram("MRX_RUNTIME_DIR=" + dir.path().string() +
                                            " " MRX_BINARY_DIR "/tools/mrxctl/mrxctl discover 2>&1",
                                        text),
            69);
  EXPECT_NE(text.find("no MRX520 unit found"), std::string::npos) << text;
}

struct ProcessUpdate {
  const char* name;
  const char* failEvery;  // the simulator's --fail-every
};

void PrintTo(const ProcessUpdate& row, std::ostream* os) {
  *os << row.name;
}

class MrxctlProcessUpdateTest : public ::testing::TestWithParam<ProcessUpdate> {};

// The real programs end to end: an update over the socket, then discovery shows
// the new version; the same when the simulator fails one exchange in fifty.
TEST_P(MrxctlProcessUpdateTest, UpdateHostAgainstTheSimulatorProcess) {
  TempDir dir;
  testing_support::SimProcess sim(
      dir.path(), {"--no-state", "--restart-ms", "500", "--fail-every", GetParam().failEvery});
  const std::string mrxctl =
      "MRX_RUNTIME_DIR=" + dir.path().string() + " " MRX_BINARY_DIR "/tools/mrxctl/mrxctl ";
  auto run = [&](const std::string& args, std::string& text) {
    return testing_support::RunProgram(mrxctl + args + " 2>&1", text);
  };
  std::string text;
  ASSERT_EQ(run("update host", text), 0) << text;
  EXPECT_NE(text.find("Download finished!\nThe unit reports host software V4.000 of 27.01.2009."),
            std::string::npos)
      << text;
  ASSERT_EQ(run("discover", text), 0) << text;
  EXPECT_NE(text.find("MRX520    V4.000   27.01.2009"), std::string::npos) << text;
}

const ProcessUpdate kProcessUpdates[] = {
    {"EveryExchangeAnswered", "0"},
    {"OneExchangeInFiftyFails", "50"},
};

INSTANTIATE_TEST_SUITE_P(Rows, MrxctlProcessUpdateTest, ::testing::ValuesIn(kProcessUpdates),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace tools::mrxctl
