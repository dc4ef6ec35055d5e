// "mrxctl backup", "restore" and "diff" against the simulated unit in process
// (settings only: its KLF310 is reached over the network in the end-to-end
// test), and the safety backup every update takes first.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "desktop/unitlink/CTiroUSB.h"
#include "platform/AtomicFile.h"
#include "platform/Bytes.h"
#include "platform/Clock.h"
#include "protocol/unit/Qvo520Image.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimUnit.h"
#include "tests/support/TempDir.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {
namespace {

namespace fs = std::filesystem;
namespace pu = protocol::unit;

// One simulated unit and the mrxctl command line against it.
struct Bench {
  explicit Bench(sim::Scenario scenario = sim::DefaultScenario())
      : unit(std::move(scenario), clock), io(unit), usb(&io) {
    usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  }
  int Run(std::vector<std::string> args) {
    out.str({});
    err.str({});
    return tools::mrxctl::Run(args, usb, out, err, clock);
  }
  void SetLevel2(std::uint8_t address, std::int16_t tenths) {
    auto image = unit.StoredSettings(address);
    platform::PutU16(image, pu::Qvo520Image::kLevel2, static_cast<std::uint16_t>(tenths));
    const auto file = (dir.path() / "image.bin").string();
    std::string error;
    ASSERT_TRUE(
        platform::WriteFileAtomically(file, std::string(image.begin(), image.end()), error));
    ASSERT_EQ(Run({"settings", "write", std::to_string(address), file}), kExitOk) << err.str();
  }
  std::string File(const char* name) const { return (dir.path() / name).string(); }

  platform::VirtualClock clock;
  sim::SimUnit unit;
  sim::SimDeviceIo io;
  desktop::unitlink::CTiroUSB usb;
  std::ostringstream out, err;
  testing_support::TempDir dir;
};

TEST(MrxctlBackupTest, BackupChangeRestoreAndCompare) {
  Bench b;
  ASSERT_EQ(b.Run({"backup", b.File("unit.mrxb"), "--no-curves"}), kExitOk) << b.err.str();
  EXPECT_NE(b.out.str().find("Saved the settings of 15 modules of the unit with serial 1234 to "),
            std::string::npos)
      << b.out.str();
  EXPECT_EQ(b.Run({"diff", b.File("unit.mrxb"), "-"}), kExitOk) << b.err.str();
  EXPECT_EQ(b.out.str(), "");

  b.SetLevel2(2, -100);
  EXPECT_EQ(b.Run({"diff", b.File("unit.mrxb"), "-"}), kExitDiffers) << b.err.str();
  EXPECT_EQ(b.out.str(), "QVO520 @2: level 2 0.0 dB → -10.0 dB\n");
  EXPECT_EQ(b.Run({"--json", "diff", "-", b.File("unit.mrxb")}), kExitDiffers);
  const auto list = nlohmann::json::parse(b.out.str());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]["address"], 2);
  EXPECT_EQ(list[0]["field"], "level 2");
  EXPECT_EQ(list[0]["before"], "-10.0 dB");
  EXPECT_EQ(list[0]["after"], "0.0 dB");

  const auto changed = b.unit.StoredSettings(2);
  ASSERT_EQ(b.Run({"restore", "--dry-run", b.File("unit.mrxb")}), kExitOk) << b.err.str();
  EXPECT_NE(b.out.str().find("module 2 (QVO520): would be written (48 bytes)"), std::string::npos);
  EXPECT_EQ(b.unit.StoredSettings(2), changed) << "a dry run writes nothing";

  ASSERT_EQ(b.Run({"restore", b.File("unit.mrxb")}), kExitOk) << b.err.str();
  EXPECT_NE(b.out.str().find("module 2 (QVO520): written and verified\n"), std::string::npos);
  EXPECT_EQ(b.Run({"diff", b.File("unit.mrxb"), "-"}), kExitOk) << b.out.str();
}

TEST(MrxctlBackupTest, RefusedFilesAndMismatchedCardsChangeNothingThatDoesNotFit) {
  Bench b;
  ASSERT_EQ(b.Run({"backup", b.File("unit.mrxb"), "--no-curves"}), kExitOk) << b.err.str();
  std::string text;
  ASSERT_TRUE(platform::ReadWholeFile(b.File("unit.mrxb"), text));
  // One base64 letter of module 2's section changed by hand.
  const auto section = text.find("begin module 2 ");
  const auto data = text.find('\n', section) + 5;
  text[data] = text[data] == 'A' ? 'B' : 'A';
  std::string error;
  ASSERT_TRUE(platform::WriteFileAtomically(b.File("edited.mrxb"), text, error));

  const std::uint64_t exchanges = b.unit.ExchangeCount();
  EXPECT_EQ(b.Run({"restore", b.File("edited.mrxb")}), kExitDataError);
  EXPECT_NE(b.err.str().find("edited.mrxb line 31: section 'module 2' checksum does not match: "
                             "the file was changed or is damaged"),
            std::string::npos)
      << b.err.str();
  EXPECT_EQ(b.unit.ExchangeCount(), exchanges) << "the unit is not even asked";
  EXPECT_EQ(b.Run({"diff", b.File("edited.mrxb"), "-"}), kExitDataError);
  EXPECT_EQ(b.Run({"restore", b.File("missing.mrxb")}), kExitIoError);

  // Another unit: a TWR310i where the backup has the HEJ520.
  sim::Scenario other = sim::DefaultScenario();
  other.modules[4].type = 6;
  Bench swapped(other);
  const auto before = swapped.unit.StoredSettings(4);
  EXPECT_EQ(swapped.Run({"restore", b.File("unit.mrxb")}), kExitDataError);
  EXPECT_NE(swapped.out.str().find("module 4 (HEJ520): the unit has module 4 (TWR310i) there"),
            std::string::npos)
      << swapped.out.str();
  EXPECT_NE(swapped.out.str().find("module 5 (SIV520): written and verified"), std::string::npos);
  EXPECT_EQ(swapped.unit.StoredSettings(4), before);
  EXPECT_NE(swapped.err.str().find("some modules were skipped"), std::string::npos);
  // Asked for the others only, it is whole.
  EXPECT_EQ(swapped.Run({"restore", b.File("unit.mrxb"), "--only", "2", "5"}), kExitOk)
      << swapped.out.str();

  struct Row {
    const char* name;
    std::vector<std::string> args;
    int code;
  } rows[] = {
      {"diff needs two sides", {"diff", b.File("unit.mrxb")}, kExitUsage},
      {"restore needs a file", {"restore"}, kExitUsage},
      {"an address beyond 15", {"restore", b.File("unit.mrxb"), "--only", "16"}, kExitUsage},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(b.Run(row.args), row.code) << b.err.str();
  }
  b.unit.RefuseOpensFor(60000);
  EXPECT_EQ(b.Run({"backup", b.File("none.mrxb")}), kExitUnavailable);
  EXPECT_FALSE(fs::exists(b.File("none.mrxb")));
}

// Sets XDG_DATA_HOME for one test.
class DataHome {
 public:
  explicit DataHome(const fs::path& path) {
    if (const char* old = std::getenv("XDG_DATA_HOME")) old_ = old;
    setenv("XDG_DATA_HOME", path.c_str(), 1);
  }
  ~DataHome() {
    if (old_.empty()) {
      unsetenv("XDG_DATA_HOME");
    } else {
      setenv("XDG_DATA_HOME", old_.c_str(), 1);
    }
  }

 private:
  std::string old_;
};

// A unit whose host software is erased answers with its boot software only:
// there is nothing to save, and no file that later commands cannot read.
TEST(MrxctlBackupTest, AUnitWithoutItsHostSoftwareIsRefused) {
  testing_support::TempDir dir;
  const fs::path state = dir.path() / "state";
  std::ofstream(state) << "mrx520-state 1\nerased host\n";
  platform::VirtualClock clock;
  sim::SimUnit unit(sim::DefaultScenario(), clock, state);
  sim::SimDeviceIo io(unit);
  desktop::unitlink::CTiroUSB usb(&io);
  usb.SetDeviceName("\\\\.\\MRXUSBDevice0");
  std::ostringstream out, err;
  const fs::path file = dir.path() / "unit.mrxb";
  EXPECT_EQ(tools::mrxctl::Run({"backup", file.string()}, usb, out, err, clock), kExitUnavailable)
      << err.str();
  EXPECT_NE(err.str().find("the unit is not running its host software"), std::string::npos)
      << err.str();
  EXPECT_FALSE(fs::exists(file));
}

TEST(MrxctlBackupTest, AnUpdateSavesABackupFirstAndComparesAfterwards) {
  Bench b;
  DataHome data(b.dir.path() / "data");
  ASSERT_EQ(b.Run({"update", "host"}), kExitOk) << b.err.str();
  const std::string prefix = "Saved a backup of the unit's settings to " +
                             (b.dir.path() / "data" / "mrx520" / "backups" / "1234").string() + "/";
  const auto at = b.out.str().find(prefix);
  ASSERT_NE(at, std::string::npos) << b.out.str();
  const std::string file = b.out.str().substr(at + prefix.size(), 24);
  EXPECT_TRUE(fs::exists(b.dir.path() / "data" / "mrx520" / "backups" / "1234" / file)) << file;
  EXPECT_NE(b.out.str().find("Compared with the backup: settings unchanged.\n"), std::string::npos)
      << b.out.str();
  EXPECT_LT(at, b.out.str().find("Updating the host software")) << "the backup comes first";
}

TEST(MrxctlBackupTest, AFailedBackupStopsTheUpdateUnlessNoBackupIsGiven) {
  Bench b;
  // A file where the data folder should be: nothing can be saved there.
  std::ofstream(b.dir.path() / "data") << "in the way";
  DataHome data(b.dir.path() / "data");
  EXPECT_EQ(b.Run({"update", "host"}), kExitIoError);
  EXPECT_NE(b.err.str().find("could not be saved"), std::string::npos) << b.err.str();
  EXPECT_NE(b.err.str().find("nothing was written to the unit. Give --no-backup to update "
                             "without one."),
            std::string::npos)
      << b.err.str();
  EXPECT_EQ(b.unit.HostVersion().major, 2) << "the unit still runs its software";

  ASSERT_EQ(b.Run({"update", "host", "--no-backup"}), kExitOk) << b.err.str();
  EXPECT_NE(b.out.str().find("No backup of the unit's settings is taken (--no-backup)."),
            std::string::npos);
  EXPECT_EQ(b.unit.HostVersion().major, 4);
}

}  // namespace
}  // namespace tools::mrxctl
