// "mrxctl backup", "restore" and "diff" as a user runs them against the
// mrx520-sim program, the KLF310 card's curves over its network port.
#include <gtest/gtest.h>
#include <unistd.h>

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
  // A QVO520 at 1, the KLF310 at 2 and at 3 the card `third` names.
  void StartSim(const std::string& third, const char* state) {
    std::string error;
    ASSERT_TRUE(platform::WriteFileAtomically(
        dir.path() / "scenario",
        "unit serial=1234\nmodule address=1 type=2\nmodule address=2 type=11 ip=" + host +
            "\nmodule address=3 " + third + "\n",
        error))
        << error;
    sim = std::make_unique<testing_support::SimProcess>(
        dir.path() / "run",
        std::vector<std::string>{"--scenario", File("scenario"), "--state", File(state)});
    ASSERT_TRUE(sim->Running());
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
  ASSERT_EQ(Mrxctl("klf curve get 3 " + File("curve.txt"), output), 0) << output;
  std::string curve = Read("curve.txt");
  const auto row = curve.find("\n   23 ");
  ASSERT_NE(row, std::string::npos);
  curve.replace(row + 1, curve.find('\n', row + 1) - row - 1,
                "   23  5.0  10.0  1.0  2.0  3.0  4.0");
  Write("curve.txt", curve);
  ASSERT_EQ(Mrxctl("klf curve put 3 " + File("curve.txt"), output), 0) << output;
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

}  // namespace
