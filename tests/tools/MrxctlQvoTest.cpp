// "mrxctl qvo": the QVO520's processors shown and updated, in process and
// against the mrx520-sim program with lost exchanges.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "../support/RunProgram.h"
#include "../support/SimProcess.h"
#include "platform/Clock.h"
#include "sim/SimDeviceIo.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {
namespace {

using testing_support::TempDir;

class MrxctlQvoTest : public ::testing::Test {
 protected:
  MrxctlQvoTest() { usb.SetDeviceName("\\\\.\\MRXUSBDevice0"); }
  int Run(std::vector<std::string> args) {
    out.str({});
    err.str({});
    return tools::mrxctl::Run(args, usb, out, err, clock);
  }
  platform::VirtualClock clock;
  sim::SimUnit unit{sim::DefaultScenario(), clock};
  sim::SimDeviceIo io{unit};
  desktop::unitlink::CTiroUSB usb{&io};
  std::ostringstream out, err;
};

TEST_F(MrxctlQvoTest, InfoDecodesBothProcessorRecords) {
  ASSERT_EQ(Run({"qvo", "info", "2"}), kExitOk) << err.str();
  EXPECT_EQ(out.str(),
            "Left processor: ZEL520, DSP V2.005 of 2008-03-14 (orig), PFC V1.002 of 2007-11-05; "
            "board 1201 delivered 2008-09-15\n"
            "Right processor: ZEL520, DSP V2.005 of 2008-03-14 (orig), PFC V1.002 of "
            "2007-11-05; board 1202 delivered 2008-09-15\n");
  ASSERT_EQ(Run({"--json", "qvo", "info", "2"}), kExitOk) << err.str();
  const auto list = nlohmann::json::parse(out.str());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1]["processor"], "right");
  EXPECT_EQ(list[1]["version"], "V2.005");
  EXPECT_EQ(list[1]["second"]["software"], "PFC");
  EXPECT_EQ(list[1]["board"]["serial"], "1202");
}

TEST_F(MrxctlQvoTest, UpdateLoadsTheCarriedSoftwareIntoOneProcessor) {
  ASSERT_EQ(Run({"qvo", "update", "13", "left"}), kExitOk) << err.str();
  EXPECT_NE(out.str().find("from V2.005 to V2.009"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("100%: Download of V2.009"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("Left processor: ZEL520, DSP V2.009 of 2008-08-24 (update)"),
            std::string::npos)
      << out.str();
  ASSERT_EQ(Run({"qvo", "info", "13"}), kExitOk);
  EXPECT_NE(out.str().find("Right processor: ZEL520, DSP V2.005"), std::string::npos)
      << "the other processor keeps its software";
}

TEST_F(MrxctlQvoTest, ExitCodesSayWhatIsWrong) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    bool unplugged;
    int code;
    const char* message;
  } rows[] = {
      {"another card",
       {"qvo", "update", "1", "left"},
       false,
       kExitDataError,
       "the module at address 1 is a QVI520, not a QVO520"},
      {"an unknown card", {"qvo", "info", "12"}, false, kExitDataError, "of type 12"},
      {"the main unit", {"qvo", "info", "0"}, false, kExitDataError, "no module at address 0"},
      {"no unit", {"qvo", "update", "2", "right"}, true, kExitUnavailable, "no MRX520 unit"},
      {"no such side", {"qvo", "update", "2", "middle"}, false, kExitUsage, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.unplugged) unit.RefuseOpensFor(1000);
    EXPECT_EQ(Run(row.args), row.code);
    EXPECT_NE(err.str().find(row.message), std::string::npos) << err.str();
    clock.Advance(2000);
  }
}

// The program a user runs against the simulator program, also with one
// exchange in fifty lost.
TEST(MrxctlQvoEndToEnd, UpdateShowsTheNewVersionAfterwards) {
  for (const char* failEvery : {"0", "50"}) {
    SCOPED_TRACE(std::string("--fail-every ") + failEvery);
    TempDir dir;
    setenv("MRX_RUNTIME_DIR", dir.path().c_str(), 1);
    testing_support::SimProcess sim(dir.path(), {"--no-state", "--fail-every", failEvery});
    ASSERT_TRUE(sim.Running());
    std::string output;
    const std::string mrxctl = MRX_BINARY_DIR "/tools/mrxctl/mrxctl ";
    ASSERT_EQ(testing_support::RunProgram(mrxctl + "qvo update 2 right 2>&1", output), kExitOk)
        << output;
    ASSERT_EQ(testing_support::RunProgram(mrxctl + "--json qvo info 2", output), kExitOk) << output;
    const auto list = nlohmann::json::parse(output);
    EXPECT_EQ(list[1]["version"], "V2.009");
    EXPECT_EQ(list[1]["label"], "update");
    EXPECT_EQ(list[1]["date"], "2008-08-24");
    EXPECT_EQ(list[0]["version"], "V2.005");
  }
}

}  // namespace
}  // namespace tools::mrxctl
