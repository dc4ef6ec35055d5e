// "mrxctl display": the eight settings, their ranges, and screenshots of the
// front display, in process and against the mrx520-sim program.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "../platform/ImageFixtures.h"
#include "../support/RunProgram.h"
#include "../support/SimProcess.h"
#include "../support/WaitFor.h"
#include "platform/Clock.h"
#include "sim/SimDeviceIo.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {
namespace {

using testing_support::TempDir;

class MrxctlDisplayTest : public ::testing::Test {
 protected:
  explicit MrxctlDisplayTest(sim::Scenario scenario = sim::DefaultScenario())
      : unit(std::move(scenario), clock), io(unit), usb(&io) {
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

TEST_F(MrxctlDisplayTest, GetListsTheEightTriplesInTheReplyOrder) {
  ASSERT_EQ(Run({"display", "get"}), kExitOk) << err.str();
  EXPECT_EQ(out.str(),
            "NAME                 VALUE  MIN  MAX\n"
            "brightness-on           12    0   15\n"
            "brightness-off           2    0   15\n"
            "contrast                32    0   63\n"
            "peakmeter-delay         10    0   50\n"
            "zel520-led-front        50    0  100\n"
            "zel520-led-rear         30    0  100\n"
            "twr520-led              50    0  100\n"
            "brightness-alternate     6    0   15\n");

  ASSERT_EQ(Run({"--json", "display", "get"}), kExitOk) << err.str();
  const auto list = nlohmann::json::parse(out.str());
  ASSERT_EQ(list.size(), 8u);
  EXPECT_EQ(list[3],
            nlohmann::json({{"name", "peakmeter-delay"}, {"value", 10}, {"min", 0}, {"max", 50}}));
}

TEST_F(MrxctlDisplayTest, SetChecksTheValueAgainstTheUnitsRange) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    int code;
    int contrastAfter;
    const char* message;
  } rows[] = {
      {"inside", {"display", "set", "contrast", "40"}, kExitOk, 40, ""},
      {"the maximum", {"display", "set", "contrast", "63"}, kExitOk, 63, ""},
      {"above",
       {"display", "set", "contrast", "64"},
       kExitDataError,
       63,
       "64 is outside the unit's range 0-63 for contrast"},
      {"not a byte", {"display", "set", "contrast", "300"}, kExitUsage, 63, "VALUE"},
      {"not a number", {"display", "set", "contrast", "dim"}, kExitUsage, 63, "VALUE"},
      {"unknown name", {"display", "set", "glow", "3"}, kExitUsage, 63, "glow not in"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Run(row.args), row.code) << err.str();
    EXPECT_NE(err.str().find(row.message), std::string::npos) << err.str();
    EXPECT_EQ(unit.DisplayLevels()[2].value, row.contrastAfter);
  }
}

TEST_F(MrxctlDisplayTest, ScreenshotWritesTheFormatOfItsExtension) {
  const struct {
    const char* file;
    int code;
    const char* identified;  // empty: nothing written
  } rows[] = {
      {"shot.bmp", kExitOk, "BMP3 483x259 2"},
      {"shot.gif", kExitOk, "GIF 483x259 2"},
      {"shot.PNG", kExitOk, "PNG 483x259 2"},
      {"shot.txt", kExitUsage, ""},
      {"shot", kExitUsage, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    const auto file = dir.path() / row.file;
    EXPECT_EQ(Run({"display", "screenshot", file.string()}), row.code) << err.str();
    if (*row.identified == '\0') {
      EXPECT_FALSE(std::filesystem::exists(file));
    } else {
      EXPECT_EQ(testing_support::Identify(file), row.identified);
    }
  }
}

class MrxctlPartialDisplayTest : public MrxctlDisplayTest {
 protected:
  static sim::Scenario SixtyFourRows() {
    sim::Scenario s = sim::DefaultScenario();
    s.faults.displayRows = 64;
    return s;
  }
  MrxctlPartialDisplayTest() : MrxctlDisplayTest(SixtyFourRows()) {}
};

TEST_F(MrxctlPartialDisplayTest, IncompletePictureIsNotWritten) {
  const auto file = dir.path() / "shot.gif";
  EXPECT_EQ(Run({"display", "screenshot", file.string()}), kExitIoError);
  EXPECT_NE(err.str().find("answered 64 of 128 display rows"), std::string::npos) << err.str();
  EXPECT_FALSE(std::filesystem::exists(file));
}

class MrxctlNoDisplayTest : public MrxctlDisplayTest {
 protected:
  static sim::Scenario WithoutFront26() {
    sim::Scenario s = sim::DefaultScenario();
    std::erase_if(s.modules, [](const sim::ModuleRecord& m) { return m.type == 16; });
    return s;
  }
  MrxctlNoDisplayTest() : MrxctlDisplayTest(WithoutFront26()) {}
};

TEST_F(MrxctlNoDisplayTest, ScreenshotOfAUnitWithoutADisplayModuleWritesNothing) {
  const auto file = dir.path() / "shot.png";
  EXPECT_EQ(Run({"display", "screenshot", file.string()}), kExitUnavailable);
  EXPECT_NE(err.str().find("no display module (Front26)"), std::string::npos) << err.str();
  EXPECT_FALSE(std::filesystem::exists(file));
}

// The band of the picture where the volume line is drawn (display rows 82-95),
// as ImageMagick reads it.
std::string VolumeBand(const std::filesystem::path& file) {
  std::string hash;
  testing_support::RunProgram(
      "convert '" + file.string() + "' -crop 483x28+0+166 +repage -format '%#' info:", hash);
  return hash;
}

TEST(MrxctlDisplayEndToEnd, ScreenshotShowsTheVolumeTheRemoteJustSet) {
  TempDir dir;
  setenv("MRX_RUNTIME_DIR", dir.path().c_str(), 1);
  setenv("WAVRIX_BLUETOOTH", "sim", 1);
  setenv("WAVRIX_HANDHELD", (dir.path() / "handheld").c_str(), 1);
  auto mrxctl = [](const std::string& args, std::string& output) {
    return testing_support::RunProgram(MRX_BINARY_DIR "/tools/mrxctl/mrxctl " + args + " 2>&1",
                                       output);
  };
  testing_support::SimProcess sim(dir.path(), {"--no-state"});
  ASSERT_TRUE(sim.Running());
  std::string output;
  ASSERT_TRUE(testing_support::WaitFor([&] {
    return mrxctl("remote status --address 00:50:C2:00:04:D2", output) == 0;
  })) << output;

  const auto shot = [&](const char* name) {
    const auto file = dir.path() / name;
    EXPECT_EQ(mrxctl("display screenshot '" + file.string() + "'", output), kExitOk) << output;
    return VolumeBand(file);
  };
  const std::string before = shot("before.gif");
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(shot("again.gif"), before) << "nothing else is drawn in the volume's band";
  ASSERT_EQ(mrxctl("remote volume --address 00:50:C2:00:04:D2 -- -12.5", output), kExitOk)
      << output;
  EXPECT_NE(shot("after.gif"), before);
  ASSERT_EQ(mrxctl("remote volume --address 00:50:C2:00:04:D2 -- -30", output), kExitOk) << output;
  EXPECT_EQ(shot("back.gif"), before);
}

}  // namespace
}  // namespace tools::mrxctl
