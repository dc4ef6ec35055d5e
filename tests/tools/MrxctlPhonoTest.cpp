// "mrxctl phono curve": the selected curve of a phono card, its response as
// numbers and as a text file, and the exit codes, in process and against the
// mrx520-sim program.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "../support/RunProgram.h"
#include "../support/SimProcess.h"
#include "../support/TempDir.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/Clock.h"
#include "sim/SimDeviceIo.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {
namespace {

using testing_support::TempDir;

// The demo unit's QVI520 and BUZ310 sit at their type codes.
constexpr int kQvi = 1, kBuz = 8;

// Forwards to the simulated unit; fails every exchange with one command code.
class FailingCode final : public platform::DeviceIo {
 public:
  explicit FailingCode(platform::DeviceIo& inner) : inner_(inner) {}
  Handle Open(std::string_view path) override { return inner_.Open(path); }
  bool Control(Handle h, std::uint32_t code, std::span<const std::uint8_t> in,
               std::span<std::uint8_t> out, std::uint32_t* returned) override {
    if (failing != 0 && !in.empty() && in[0] == failing) return false;
    return inner_.Control(h, code, in, out, returned);
  }
  void Close(Handle h) override { inner_.Close(h); }
  std::uint8_t failing = 0;

 private:
  platform::DeviceIo& inner_;
};

class MrxctlPhonoTest : public ::testing::Test {
 protected:
  MrxctlPhonoTest() : unit(sim::DefaultScenario(), clock), io(unit), failing(io), usb(&failing) {
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
  FailingCode failing;
  desktop::unitlink::CTiroUSB usb;
  std::ostringstream out, err;
  TempDir dir;
};

// Parses "frequency<TAB>dB" lines; fails the test on any other line.
std::vector<std::pair<double, double>> ResponseLines(const std::filesystem::path& file) {
  std::vector<std::pair<double, double>> points;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    const auto tab = line.find('\t');
    EXPECT_NE(tab, std::string::npos) << line;
    if (tab == std::string::npos) break;
    EXPECT_EQ(line.find_first_not_of("0123456789.-+\t"), std::string::npos) << line;
    points.emplace_back(std::stod(line.substr(0, tab)), std::stod(line.substr(tab + 1)));
  }
  return points;
}

TEST_F(MrxctlPhonoTest, PrintsTheSelectedCurveWithDisabledTimeConstantsSaidSo) {
  // Slot 3 of the demo cards is "AES": t1 and t4 disabled.
  auto image = unit.StoredSettings(kBuz);
  image[25] = 3;
  ASSERT_TRUE(desktop::unitlink::WriteSettingsImage(usb, kBuz, image.size(), image));
  ASSERT_EQ(Run({"phono", "curve", std::to_string(kBuz)}), kExitOk) << err.str();
  EXPECT_EQ(out.str(),
            "Module 8 (BUZ310), curve 3 \"AES\", gain 10.0 dB\n"
            "t1  disabled   (bass, low-pass)\n"
            "t2    398 us    399.9 Hz   (mid range)\n"
            "t3     64 us   2486.8 Hz   (high range, low-pass)\n"
            "t4  disabled   (lower bass, high-pass)\n"
            "     20 Hz   +24.2 dB\n"  // disabled t1 and t4 count as 16383 us
            "    100 Hz   +12.2 dB\n"
            "   1000 Hz    -0.0 dB\n"
            "  10000 Hz   -12.3 dB\n"
            "  20000 Hz   -18.2 dB\n");
}

// A slot name is the card's text: a control sequence in it is shown, never
// sent to the terminal.
TEST_F(MrxctlPhonoTest, ControlCharactersInASlotNameAreShownEscaped) {
  auto image = unit.StoredSettings(kBuz);
  image[25] = 3;
  const char name[] = "A\x1b[2J\x07";  // clear the screen, ring the bell
  std::copy(std::begin(name), std::end(name), image.begin() + 26 + 3 * 26 + 10);
  ASSERT_TRUE(desktop::unitlink::WriteSettingsImage(usb, kBuz, image.size(), image));
  ASSERT_EQ(Run({"phono", "curve", std::to_string(kBuz)}), kExitOk) << err.str();
  EXPECT_TRUE(out.str().starts_with("Module 8 (BUZ310), curve 3 \"A\\x1B[2J\\x07\", gain"))
      << out.str();
}

TEST_F(MrxctlPhonoTest, ExitCodesSayWhatWentWrong) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::uint8_t failingCode;
    int code;
    const char* message;
  } rows[] = {
      {"an input card", {"phono", "curve", "4"}, 0, kExitDataError, "no phono card"},
      {"the main unit", {"phono", "curve", "0"}, 0, kExitDataError, "no phono card"},
      {"an empty address", {"phono", "curve", "15"}, 0, kExitDataError, "no phono card"},
      {"not an address", {"phono", "curve", "16"}, 0, kExitUsage, "ADDRESS"},
      {"the settings read fails", {"phono", "curve", "1"}, 0x08, kExitIoError, "failed"},
      {"no unit answers", {"phono", "curve", "1"}, 0x02, kExitUnavailable, "no MRX520 unit"},
      {"the response file cannot be written",
       {"phono", "curve", "1", "--response", "/nonexistent-folder/r.txt"},
       0,
       kExitIoError,
       "/nonexistent-folder/r.txt"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    failing.failing = row.failingCode;
    EXPECT_EQ(Run(row.args), row.code) << err.str();
    EXPECT_NE(err.str().find(row.message), std::string::npos) << err.str();
    EXPECT_TRUE(out.str().empty()) << out.str();
  }
}

TEST_F(MrxctlPhonoTest, AResponseFileIsNotTouchedWhenTheCardCannotBeRead) {
  const auto file = dir.path() / "response.txt";
  std::ofstream(file) << "old\n";
  failing.failing = 0x08;
  EXPECT_EQ(Run({"phono", "curve", "1", "--response", file.string()}), kExitIoError);
  std::ifstream in(file);
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "old\n");
}

// Against the real simulator process, as a user runs it.
class MrxctlPhonoProcessTest : public ::testing::Test {
 protected:
  int Mrxctl(const std::string& args, std::string& output) {
    return testing_support::RunProgram("MRX_RUNTIME_DIR='" + dir.path().string() +
                                           "' '" MRX_BINARY_DIR "/tools/mrxctl/mrxctl' " + args,
                                       output);
  }
  TempDir dir;
};

TEST_F(MrxctlPhonoProcessTest, TheIecRiaaCurveMeasuresAsTheStandardSays) {
  testing_support::SimProcess sim(dir.path(), {"--no-state"});
  ASSERT_TRUE(sim.Running());
  std::string output;
  ASSERT_EQ(Mrxctl("--json phono curve " + std::to_string(kQvi), output), 0) << output;
  const auto doc = nlohmann::json::parse(output);
  EXPECT_EQ(doc["model"], "QVI520");
  EXPECT_EQ(doc["name"], "RIAA (IEC)");
  const struct { double hz, db; } expected[] = {{20, 16.3}, {1000, 0.1}, {20000, -19.5}};
  for (const auto& e : expected) {
    SCOPED_TRACE(e.hz);
    bool found = false;
    for (const auto& point : doc["response"]) {
      if (point["hz"].get<double>() == e.hz) {
        found = true;
        EXPECT_NEAR(point["db"].get<double>(), e.db, 0.05);
      }
    }
    EXPECT_TRUE(found);
  }
  const struct {
    std::uint16_t us;
    double hz;
  } corners[] = {{3180, 50.05}, {318, 500.5}, {75, 2122.1}, {7950, 20.02}};
  ASSERT_EQ(doc["timeConstants"].size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(doc["timeConstants"][i]["us"], corners[i].us);
    EXPECT_NEAR(doc["timeConstants"][i]["hz"].get<double>(), corners[i].hz, 0.05);
  }

  // The whole response as text: every grid point, ascending, over the graph's range.
  const auto file = dir.path() / "riaa.txt";
  ASSERT_EQ(Mrxctl("phono curve 1 --response '" + file.string() + "'", output), 0) << output;
  const auto points = ResponseLines(file);
  ASSERT_EQ(points.size(), 2048u);
  EXPECT_NEAR(points.front().first, 5, 1e-3);
  EXPECT_NEAR(points.back().first, 30000, 1e-3);
  for (std::size_t k = 1; k < points.size(); ++k) {
    ASSERT_GT(points[k].first, points[k - 1].first) << k;
  }
  // Near 1 kHz the file agrees with the summary.
  for (const auto& [hz, db] : points) {
    if (hz > 995 && hz < 1005) {
      EXPECT_NEAR(db, 0.1, 0.1) << hz;
    }
  }
}

}  // namespace
}  // namespace tools::mrxctl
