#include "tools/mrxctl/Mrxctl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "../support/SimProcess.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "sim/SimDeviceIo.h"

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
    return tools::mrxctl::Run(args, usb, out, err);
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
  EXPECT_NE(out.str().find("CPropertyKLF310"), std::string::npos);
  EXPECT_NE(out.str().find("unknown"), std::string::npos) << "type 12 is listed, without a tab";

  ASSERT_EQ(Run({"--json", "discover"}), kExitOk);
  const std::string json = out.str();
  EXPECT_EQ(json.front(), '[');
  EXPECT_NE(json.find("\"address\": 14, \"subAddress\": 0, \"type\": 16, \"model\": \"Front26\""),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"settingsLength\": 128, \"version\": \"V2.105\""), std::string::npos);
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
  struct Row {
    const char* name;
    std::vector<std::string> args;
    int code;
    const char* message;
  } rows[] = {
      {"no command", {}, kExitUsage, "Usage"},
      {"unknown command", {"frobnicate"}, kExitUsage, "unknown command"},
      {"bad address", {"settings", "read", "x"}, kExitUsage, "not a module address"},
      {"address too high", {"status", "16"}, kExitUsage, "not a module address"},
      {"wrong size", {"settings", "write", "1", shortFile}, kExitDataError, "holds 3 bytes"},
      {"no settings", {"settings", "write", "14", shortFile}, kExitDataError, "has no settings image"},
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
}

// The real programs: MRX_TRACE=1 shows every frame that crossed.
TEST(MrxctlProcessTest, TracePrintsTheFramesThatCrossed) {
  TempDir dir;
  testing_support::SimProcess sim(dir.path(), {"--no-state"});
  const std::string command = "MRX_TRACE=1 MRX_RUNTIME_DIR=" + dir.path().string() + " " +
                              MRX_BINARY_DIR "/tools/mrxctl/mrxctl discover 2>&1 >/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string trace;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) trace += line;
  EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 0);
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
  const std::string command = "MRX_RUNTIME_DIR=" + dir.path().string() + " " +
                              MRX_BINARY_DIR "/tools/mrxctl/mrxctl discover 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string text;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) text += line;
  EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 69);
  EXPECT_NE(text.find("no MRX520 unit found"), std::string::npos) << text;
}

}  // namespace
}  // namespace tools::mrxctl
