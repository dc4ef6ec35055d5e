// "mrxctl backup", "restore" and "diff" as a user runs them against the
// mrx520-sim program, the KLF310 card's curves over its network port.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

std::string OwnLoopback(int salt) {
  const auto pid = static_cast<unsigned>(getpid());
  return "127." + std::to_string(1 + (pid >> 16) % 254) + "." + std::to_string((pid >> 8) & 0xFF) +
         "." + std::to_string(1 + ((pid & 0xFF) + static_cast<unsigned>(salt) * 37) % 253);
}

class MrxctlBackupEndToEndTest : public ::testing::Test {
 protected:
  // A QVO520 at 1, the KLF310 at 2 and at 3 the card `third` names; the
  // unit's other slots are empty.
  void StartSim(const std::string& third, const char* state, std::vector<std::string> faults = {},
                const std::string& serial = "1234", const std::string& klfHost = "") {
    std::string error;
    ASSERT_TRUE(platform::WriteFileAtomically(
        dir.path() / "scenario",
        "unit serial=" + serial + "\nmodule address=1 type=2\nmodule address=2 type=11 ip=" +
            (klfHost.empty() ? host : klfHost) + "\nmodule address=3 " + third + "\n",
        error))
        << error;
    std::vector<std::string> args{"--scenario", File("scenario"), "--state", File(state)};
    args.insert(args.end(), faults.begin(), faults.end());
    sim = std::make_unique<testing_support::SimProcess>(dir.path() / "run", args);
    ASSERT_TRUE(sim->Running());
  }
  // One point of channel 3's curve moved, through the card's own port.
  void ChangeCurve3() {
    std::string output;
    ASSERT_EQ(Mrxctl("klf curve get 3 " + File("curve.txt"), output), 0) << output;
    std::string curve = Read("curve.txt");
    const auto row = curve.find("\n   23 ");
    ASSERT_NE(row, std::string::npos);
    curve.replace(row + 1, curve.find('\n', row + 1) - row - 1,
                  "   23  5.0  10.0  1.0  2.0  3.0  4.0");
    Write("curve.txt", curve);
    ASSERT_EQ(Mrxctl("klf curve put 3 " + File("curve.txt"), output), 0) << output;
  }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  int Mrxctl(const std::string& args, std::string& output) {
    return testing_support::RunProgram("MRX_RUNTIME_DIR='" + (dir.path() / "run").string() +
                                           "' XDG_DATA_HOME='" + File("data") + "' " +
                                           MRX_BINARY_DIR "/tools/mrxctl/mrxctl " + args + " 2>&1",
                                       output);
  }
  std::string File(const char* name) const { return (dir.path() / name).string(); }
  std::string Read(const char* name) const {
    std::string text;
    platform::ReadWholeFile(File(name), text);
    return text;
  }
  void Write(const char* name, const std::string& text) {
    std::string error;
    ASSERT_TRUE(platform::WriteFileAtomically(File(name), text, error)) << error;
  }

  testing_support::TempDir dir;
  std::string host = OwnLoopback(11);
  std::unique_ptr<testing_support::SimProcess> sim;
};

TEST_F(MrxctlBackupEndToEndTest, ChangedSettingsAndCurvesComeBackFromTheBackup) {
  StartSim("type=4", "state");
  std::string output;
  ASSERT_EQ(Mrxctl("backup " + File("unit.mrxb"), output), 0) << output;
  EXPECT_NE(Read("unit.mrxb").find("curves 2 channels=16 bins=2048\n"), std::string::npos);

  // Level 2 of the QVO520 (bytes 36-37) to -10.0 dB, and one point of a curve.
  ASSERT_EQ(Mrxctl("settings read 1 " + File("qvo.bin"), output), 0) << output;
  std::string image = Read("qvo.bin");
  image[36] = '\x9C';
  image[37] = '\xFF';
  Write("qvo.bin", image);
  ASSERT_EQ(Mrxctl("settings write 1 " + File("qvo.bin"), output), 0) << output;
  ChangeCurve3();
  // And the HEJ520's settings as the remote's setup page stores them, over
  // the simulated Bluetooth stream (its block: the image after the identity).
  ASSERT_EQ(testing_support::RunProgram(MRX_BINARY_DIR "/tests/fault_matrix remote-write '" +
                                            (dir.path() / "run").string() + "' 1234 3:56 2>&1",
                                        output),
            0)
      << output;

  EXPECT_EQ(Mrxctl("diff " + File("unit.mrxb") + " -", output), 1) << output;
  EXPECT_NE(output.find("HEJ520 @3: "), std::string::npos) << output;
  EXPECT_NE(output.find("QVO520 @1: level 2 0.0 dB → -10.0 dB\n"), std::string::npos) << output;
  EXPECT_NE(output.find("KLF310 @2: curve of channel 3: 1 of 2048 bins differ\n"),
            std::string::npos)
      << output;

  // A dry run and a backup edited by hand write nothing.
  ASSERT_EQ(Mrxctl("restore --dry-run " + File("unit.mrxb"), output), 0) << output;
  std::string edited = Read("unit.mrxb");
  const auto data = edited.find('\n', edited.find("begin module 1 ")) + 1;
  edited[data] = edited[data] == 'A' ? 'B' : 'A';
  Write("edited.mrxb", edited);
  EXPECT_EQ(Mrxctl("restore " + File("edited.mrxb"), output), 65) << output;
  EXPECT_NE(output.find("section 'module 1' checksum does not match"), std::string::npos) << output;
  EXPECT_EQ(Mrxctl("diff " + File("unit.mrxb") + " -", output), 1) << output;

  ASSERT_EQ(Mrxctl("restore " + File("unit.mrxb"), output), 0) << output;
  EXPECT_NE(output.find("curves of the KLF310 at module 2: 16 channels written and verified"),
            std::string::npos)
      << output;
  EXPECT_EQ(Mrxctl("diff " + File("unit.mrxb") + " -", output), 0) << output;
  EXPECT_EQ(output, "");

  // A unit with a card of another type at 3: that card is skipped, the rest written.
  sim->Stop();
  StartSim("type=6", "other-state");
  EXPECT_EQ(Mrxctl("restore " + File("unit.mrxb"), output), 65) << output;
  EXPECT_NE(output.find("module 3 (HEJ520): the unit has module 3 (TWR310i) there"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("module 1 (QVO520): written and verified"), std::string::npos) << output;
}

// A card that stops answering: no backup without --partial, and with it a
// file that names the card, which restore and diff name again.
TEST_F(MrxctlBackupEndToEndTest, ASilentCardLeavesNoBackupOrAPartialOneThatSaysSo) {
  StartSim("type=4", "state", {"--silent-module", "3"});
  std::string output;
  EXPECT_EQ(Mrxctl("backup " + File("unit.mrxb"), output), 74) << output;
  EXPECT_TRUE(Has(output, "module 3 did not answer")) << output;
  EXPECT_FALSE(std::filesystem::exists(File("unit.mrxb")));

  EXPECT_EQ(Mrxctl("backup --partial " + File("part.mrxb"), output), 74) << output;
  EXPECT_TRUE(Has(output, "the backup is partial: it lacks module 3")) << output;
  const std::string text = Read("part.mrxb");
  EXPECT_TRUE(Has(text, "\ncurves 2 channels=16 bins=2048\nmissing module 3\nbegin module 0 "))
      << text.substr(0, 600);

  // Once the card answers again, a restore leaves it as it is and says why.
  sim->Stop();
  StartSim("type=4", "state");
  EXPECT_EQ(Mrxctl("restore " + File("part.mrxb"), output), 65) << output;
  EXPECT_TRUE(Has(output, "module 3: the backup lacks it")) << output;
  EXPECT_TRUE(Has(output, "module 1 (QVO520): written and verified")) << output;
  EXPECT_TRUE(Has(output, "16 channels written and verified")) << output;
  EXPECT_EQ(Mrxctl("diff " + File("part.mrxb") + " -", output), 1) << output;
  EXPECT_TRUE(Has(output, "part.mrxb is a partial backup: it lacks module 3")) << output;
  EXPECT_TRUE(Has(output, "HEJ520 @3: module (not read: the backup is partial) → HEJ520"))
      << output;
}

// A backup of another unit is refused; with --other-unit each module keeps
// this unit's identity and the KLF310 its address, where the curves go.
TEST_F(MrxctlBackupEndToEndTest, AnotherUnitsBackupKeepsThisUnitsIdentityAndAddress) {
  StartSim("type=4", "state");
  ChangeCurve3();
  std::string output;
  ASSERT_EQ(Mrxctl("backup " + File("a.mrxb"), output), 0) << output;
  sim->Stop();

  const std::string otherHost = OwnLoopback(12);
  StartSim("type=4", "other-state", {}, "4321", otherHost);
  ASSERT_EQ(Mrxctl("settings read 1 " + File("before.bin"), output), 0) << output;
  EXPECT_EQ(Mrxctl("restore " + File("a.mrxb"), output), 65) << output;
  EXPECT_TRUE(Has(output,
                  "the backup was taken from the unit with serial 1234; this unit's "
                  "serial is 4321; nothing was written"))
      << output;
  ASSERT_EQ(Mrxctl("settings read 1 " + File("after.bin"), output), 0) << output;
  EXPECT_EQ(Read("after.bin"), Read("before.bin"));

  ASSERT_EQ(Mrxctl("restore --dry-run --other-unit " + File("a.mrxb"), output), 0) << output;
  EXPECT_TRUE(Has(output,
                  "module 2 (KLF310): would be written (798 bytes); it keeps its own "
                  "serial"))
      << output;
  EXPECT_TRUE(Has(output, "it keeps its own network address " + otherHost + ", mask ")) << output;
  EXPECT_TRUE(Has(output, "(the backup's: " + host + ")")) << output;
  EXPECT_TRUE(Has(output, "would be written (16 channels) to the KLF310 at " + otherHost))
      << output;

  ASSERT_EQ(Mrxctl("restore --other-unit " + File("a.mrxb"), output), 0) << output;
  EXPECT_TRUE(Has(output, "curves of the KLF310 at module 2: 16 channels written and verified"))
      << output;
  // What still differs is this unit's own: serials, and the card's network side.
  EXPECT_EQ(Mrxctl("diff " + File("a.mrxb") + " -", output), 1) << output;
  EXPECT_TRUE(Has(output, "KLF310 @2: IP address " + host + " → " + otherHost)) << output;
  EXPECT_FALSE(Has(output, "curve of channel")) << output;
  EXPECT_FALSE(Has(output, "level")) << output;
}

// The backup before an update follows the same rule: a silent card stops the
// update before anything is written, unless --no-backup is given.
TEST_F(MrxctlBackupEndToEndTest, ASilentCardStopsAnUpdateUnlessItGoesWithoutABackup) {
  StartSim("type=4", "state", {"--silent-module", "3"});
  std::string output;
  EXPECT_EQ(Mrxctl("update host", output), 74) << output;
  EXPECT_TRUE(Has(output, "module 3 did not answer")) << output;
  EXPECT_TRUE(Has(output,
                  "the backup before the update is not whole: it lacks module 3; nothing "
                  "was written to the unit"))
      << output;
  EXPECT_FALSE(std::filesystem::exists(File("data") + "/mrx520/backups"));
  ASSERT_EQ(Mrxctl("update host --no-backup", output), 0) << output;
  EXPECT_TRUE(Has(output, "No backup of the unit's settings is taken (--no-backup).")) << output;
}

}  // namespace
