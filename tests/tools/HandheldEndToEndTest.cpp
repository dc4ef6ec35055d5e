// The remote's road to the handheld, across processes: "mrxctl handheld
// deploy" fills the storage card and starts Autorun there, Autorun installs
// the remote, and a second Autorun finds it unchanged and only starts it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "../support/RunProgram.h"
#include "../support/SimProcess.h"
#include "../support/TempDir.h"
#include "../support/WaitFor.h"
#include "platform/HandheldEnv.h"
#include "platform/HandheldProcesses.h"
#include "platform/Registry.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/DeviceStore.h"

extern char** environ;

namespace {

using testing_support::RunProgram;
using testing_support::WaitFor;

const std::string kMrxctl = MRX_BINARY_DIR "/tools/mrxctl/mrxctl";

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class HandheldEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(card().parent_path());
    std::ofstream(root() / "handheld.conf") << "os_major=5\nstorage_card=Storage Card\n";
  }
  std::filesystem::path root() const { return dir_.path() / "handheld"; }
  std::filesystem::path card() const { return root() / "Storage Card" / "2577"; }
  std::filesystem::path installed() const {
    return root() / "Windows/Start Menu/Programs/Wavrix/WavrixBTMS5.exe";
  }
  std::string Env() const {
    return "QT_QPA_PLATFORM=offscreen WAVRIX_BLUETOOTH=sim MRX_RUNTIME_DIR='" + runtime().string() +
           "' WAVRIX_HANDHELD='" + root().string() + "' ";
  }
  std::filesystem::path runtime() const { return dir_.path() / "runtime"; }
  // Waits until no installer runs on the handheld any more.
  bool InstallerEnded() {
    platform::HandheldEnv env(root());
    platform::HandheldProcesses processes(env);
    return WaitFor([&] { return processes.Find("Autorun.exe").empty(); }, std::chrono::seconds(60));
  }

  // The remote the installer starts runs until it is stopped, as on a
  // handheld: none outlives its test.
  void TearDown() override { StopRemotes(); }
  void StopRemotes() {
    if (!std::filesystem::exists(root())) return;
    platform::HandheldEnv env(root());
    platform::HandheldProcesses processes(env);
    for (const char* program : {"WavrixBTMS5.exe", "WavrixBTMS4.exe"}) {
      for (pid_t pid : processes.Find(program)) platform::HandheldProcesses::Terminate(pid);
    }
  }

  testing_support::TempDir dir_;
};

TEST_F(HandheldEndToEndTest, DeployInstallsAndASecondAutorunOnlyStartsTheRemote) {
  // The unit the remote will reach, and the card's list naming it the default.
  std::filesystem::create_directories(runtime());
  std::filesystem::permissions(runtime(), std::filesystem::perms::owner_all);
  testing_support::SimProcess sim(runtime(), {"--no-state"});
  ASSERT_TRUE(sim.Running());
  std::filesystem::create_directories(card());
  std::ofstream(card() / "Devices.txt")
      << "*0050C20004D2 \"Valdur MRX520-1234\" \"" << protocol::remote::kServiceHardware << "\"\n";
  std::string output;
  ASSERT_EQ(RunProgram(Env() + "'" + kMrxctl + "' handheld deploy --handheld '" + root().string() +
                           "' 2>&1",
                       output),
            0)
      << output;
  EXPECT_NE(output.find("100%: update in progress ..."), std::string::npos) << output;
  EXPECT_NE(output.find("Pocket PC update finished!"), std::string::npos) << output;

  // The installer started from the card puts the remote in place and ends.
  ASSERT_TRUE(
      WaitFor([&] { return std::filesystem::exists(root() / "Windows/StartUp/Valdur Wavrix.lnk"); },
              std::chrono::seconds(60)));
  ASSERT_TRUE(InstallerEnded());
  ASSERT_EQ(Slurp(installed()), Slurp(card() / "WavrixBTMS5.exe"));
  EXPECT_EQ(Slurp(root() / "Windows/Fonts/GOTHIC.TTF"), Slurp(card() / "GOTHIC.TTF"));
  {
    platform::HandheldEnv env(root());
    ASSERT_TRUE(env.LoadConfig(output));
    platform::FileRegistry registry(env.RegistryDir());
    remote::link::DeviceStore store(registry, env);
    ASSERT_TRUE(store.Load()) << store.LastError();
    EXPECT_EQ(store.DefaultName(), "Valdur MRX520-1234") << "the card's list was merged";
  }

  // A fresh installation is not started; the handheld starts the remote from
  // its Startup folder with "-init", and it takes the unit's clock.
  platform::HandheldEnv env(root());
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("WAVRIX_BLUETOOTH", "sim", 1);
  ::setenv("MRX_RUNTIME_DIR", runtime().c_str(), 1);
  ASSERT_GT(platform::HandheldProcesses(env).Start(
                "\\Windows\\Start Menu\\Programs\\Wavrix\\WavrixBTMS5.exe", {"-init"},
                "\\Windows\\StartUp"),
            0);
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(root() / "Windows/clock-offset"); },
                      std::chrono::seconds(30)));
  StopRemotes();

  // A second installer finds the same program and only starts it: nothing is
  // copied or saved again.
  std::filesystem::remove(card() / "Devices.txt");
  std::filesystem::remove(root() / "Windows/Fonts/GOTHICB.TTF");
  // The remote it starts keeps running: its output goes to a file, so the
  // pipe this test reads closes when the installer ends.
  const auto log = dir_.path() / "autorun.log";
  ASSERT_EQ(
      RunProgram(Env() + "'" + (card() / "Autorun.exe").string() + "' >'" + log.string() + "' 2>&1",
                 output),
      0)
      << Slurp(log);
  EXPECT_FALSE(std::filesystem::exists(card() / "Devices.txt"));
  EXPECT_FALSE(std::filesystem::exists(root() / "Windows/Fonts/GOTHICB.TTF"));
  // The installed remote was started again.
  EXPECT_TRUE(
      WaitFor([&] { return !platform::HandheldProcesses(env).Find("WavrixBTMS5.exe").empty(); },
              std::chrono::seconds(30)));
}

// A handheld folder given relative to where the user stands: the installer
// is still found once it runs in its own folder, and it installs the remote.
struct RelativeCase {
  const char* name;
  const char* how;  // how mrxctl is told of the handheld folder "handheld"
};

void PrintTo(const RelativeCase& c, std::ostream* os) {
  *os << c.name;
}

class HandheldRelativeTest : public HandheldEndToEndTest,
                             public ::testing::WithParamInterface<RelativeCase> {};

TEST_P(HandheldRelativeTest, DeploysAndStartsTheInstaller) {
  std::string output;
  ASSERT_EQ(
      RunProgram(
          "cd '" + dir_.path().string() + "' && QT_QPA_PLATFORM=offscreen WAVRIX_BLUETOOTH=sim " +
              GetParam().how + " '" + kMrxctl + "' handheld deploy" +
              (std::string_view(GetParam().how).empty() ? " --handheld handheld" : "") + " 2>&1",
          output),
      0)
      << output;
  EXPECT_NE(output.find("Pocket PC update finished!"), std::string::npos) << output;
  EXPECT_TRUE(
      WaitFor([&] { return std::filesystem::exists(root() / "Windows/StartUp/Valdur Wavrix.lnk"); },
              std::chrono::seconds(60)))
      << "the installer ran";
  EXPECT_TRUE(InstallerEnded());
}

INSTANTIATE_TEST_SUITE_P(, HandheldRelativeTest,
                         ::testing::Values(RelativeCase{"Option", ""},
                                           RelativeCase{"Environment", "WAVRIX_HANDHELD=handheld"}),
                         [](const auto& row) { return std::string(row.param.name); });

// A deployment killed while it writes the remote leaves the card's program as
// it was: never a truncated one that the installer would take for the new build.
TEST_F(HandheldEndToEndTest, ADeploymentKilledHalfWayLeavesNoTruncatedProgram) {
  std::filesystem::create_directories(card());
  const std::string old = "#!/bin/sh\n# the remote as it was\n";
  std::ofstream(card() / "WavrixBTMS5.exe") << old;
  // The copy of the remote blocks in its temporary file until the test kills it.
  ASSERT_EQ(::mkfifo((card() / ".WavrixBTMS5.exe.partial").c_str(), 0600), 0);

  const std::string handheld = root().string();
  std::vector<std::string> args = {kMrxctl, "handheld", "deploy", "--handheld", handheld};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);

  // Files before the remote are in place; then it is killed mid-copy.
  const bool reachedTheRemote =
      WaitFor([&] { return std::filesystem::exists(card() / "WavrixBTMS4.exe"); },
              std::chrono::seconds(60));
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  ASSERT_TRUE(reachedTheRemote);
  EXPECT_EQ(Slurp(card() / "WavrixBTMS5.exe"), old);
  EXPECT_FALSE(std::filesystem::exists(card() / "BtCoreIf.dll")) << "it never got further";
  EXPECT_FALSE(std::filesystem::exists(root() / "Windows")) << "no installer was started";
}

}  // namespace
