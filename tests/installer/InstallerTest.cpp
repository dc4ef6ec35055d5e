#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <fstream>
#include <mutex>
#include <sstream>

#include "../support/FileSizeLimit.h"
#include "../support/TempDir.h"
#include "../support/WaitFor.h"
#include "installer/Installer.h"
#include "platform/HandheldProcesses.h"
#include "remote/link/DeviceStore.h"

namespace installer {
namespace {

using platform::Hive;

class RecordingPrompt final : public platform::Prompt {
 public:
  void Error(std::string_view, std::string_view text) override {
    std::lock_guard lock(mutex_);
    shown_.emplace_back(text);
  }
  std::vector<std::string> Shown() {
    std::lock_guard lock(mutex_);
    return shown_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> shown_;
};

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
void Write(const std::filesystem::path& p, std::string_view content) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

constexpr const char* kCard = "Storage Card/2577";
constexpr const char* kInstalled = "Windows/Start Menu/Programs/Wavrix";
// A program that tells how it was started.
const std::string kProgram = "#!/bin/sh\necho \"$1|$(pwd)\" > \"$WAVRIX_HANDHELD/ran.txt\"\n";

std::string Bitmap() {
  std::ifstream in(
      std::filesystem::path(MRX_SOURCE_DIR) / "fuzz/corpus/logo_bitmap/good_24bit_2x2.bmp",
      std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class InstallerTest : public ::testing::Test {
 protected:
  // A handheld with a storage card carrying both remote builds, fonts, libraries and logo.
  void Handheld(int osMajor = 5, bool card = true) {
    std::string conf = "os_major=" + std::to_string(osMajor) + "\n";
    if (card) conf += "storage_card=Storage Card\n";
    Write(root() / "handheld.conf", conf);
    Write(root() / kCard / "WavrixBTMS4.exe", kProgram + "# 4\n");
    Write(root() / kCard / "WavrixBTMS5.exe", kProgram + "# 5\n");
    Write(root() / kCard / "GOTHIC.TTF", std::string(3000, 'g'));
    Write(root() / kCard / "GOTHICB.TTF", std::string(2000, 'b'));
    Write(root() / kCard / "BtCoreIf.dll", "core");
    Write(root() / kCard / "BtSdkCE30.dll", "sdk");
    Write(root() / kCard / "Logo.bmp", Bitmap());
    for (auto* f : {"WavrixBTMS4.exe", "WavrixBTMS5.exe"}) {
      std::filesystem::permissions(root() / kCard / f, std::filesystem::perms::owner_all);
    }
  }
  void Load() {
    env_ = std::make_unique<platform::HandheldEnv>(root());
    std::string error;
    ASSERT_TRUE(env_->LoadConfig(error)) << error;
  }
  Installer& Make() {
    if (!env_) Load();
    installer_ = std::make_unique<Installer>(*env_, registry_, prompt_, clock_);
    return *installer_;
  }
  std::filesystem::path root() const { return dir_.path() / "hh"; }
  std::string Hive(Hive hive) {
    platform::RegistryHive h;
    std::string error;
    registry_.Read(hive, h, error);
    return h.Serialize(hive);
  }

  testing_support::TempDir dir_;
  platform::MemoryRegistry registry_;
  RecordingPrompt prompt_;
  platform::VirtualClock clock_;
  std::unique_ptr<platform::HandheldEnv> env_;
  std::unique_ptr<Installer> installer_;
};

TEST(ChooseBuildTest, OnlyOsFourTakesTheFourBuildsAndTheStackLibraryTakesWc) {
  struct Case {
    int os;
    bool stack;
    const char* program;
    const char* first;
    const char* second;
  };
  for (const Case& c :
       {Case{4, false, "WavrixBTMS4.exe", "", ""}, Case{5, false, "WavrixBTMS5.exe", "", ""},
        Case{6, false, "WavrixBTMS5.exe", "", ""},
        Case{4, true, "WavrixBTWC4.exe", "BtCoreIf.dll", "BtSdkCE30.dll"},
        Case{6, true, "WavrixBTWC5.exe", "BtCoreIf.dll", "BtSdkCE30.dll"}}) {
    SCOPED_TRACE(std::to_string(c.os) + (c.stack ? " with the stack" : ""));
    const auto b = Installer::ChooseBuild(c.os, c.stack);
    EXPECT_EQ(b.program, c.program);
    EXPECT_EQ(b.firstLibrary, c.first);
    EXPECT_EQ(b.secondLibrary, c.second);
  }
}

TEST_F(InstallerTest, AFreshInstallCopiesTheBuildAndFontsAndMakesBothShortcuts) {
  Handheld(4);
  // The card's file system may not keep execute bits; the installed program has them.
  std::filesystem::permissions(
      root() / kCard / "WavrixBTMS4.exe",
      std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  Write(root() / "Windows/Start Menu/Programs/Valdur Wavrix old.lnk", "stale");
  Installer& in = Make();
  ASSERT_TRUE(in.Start());
  EXPECT_EQ(in.ChosenBuild().program, "WavrixBTMS4.exe");
  ASSERT_EQ(in.Work(), Installer::Outcome::kInstalled);
  EXPECT_TRUE(prompt_.Shown().empty());

  EXPECT_EQ(Slurp(root() / kInstalled / "WavrixBTMS4.exe"), kProgram + "# 4\n");
  EXPECT_FALSE(std::filesystem::exists(root() / kInstalled / "WavrixBTMS5.exe"));
  EXPECT_FALSE(std::filesystem::exists(root() / kInstalled / "BtCoreIf.dll"));
  EXPECT_EQ(Slurp(root() / "Windows/Fonts/GOTHICB.TTF"), std::string(2000, 'b'));
  struct stat a {
  }, b{};
  ::stat((root() / kCard / "WavrixBTMS4.exe").c_str(), &a);
  ::stat((root() / kInstalled / "WavrixBTMS4.exe").c_str(), &b);
  EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec) << "the card's file times go with the copy";
  EXPECT_NE(b.st_mode & S_IXUSR, 0u) << "the installed program can be started";

  const std::string shortcut = "53#\"\\Windows\\Start Menu\\Programs\\Wavrix\\WavrixBTMS4.exe\"";
  EXPECT_EQ(Slurp(root() / "Windows/StartUp/Valdur Wavrix.lnk"), shortcut);
  EXPECT_EQ(Slurp(root() / "Windows/Start Menu/Valdur Wavrix.lnk"), shortcut);
  EXPECT_FALSE(
      std::filesystem::exists(root() / "Windows/Start Menu/Programs/Valdur Wavrix old.lnk"));

  const auto range = kProgram.size() + 4 + 3000 + 2000;
  EXPECT_EQ(in.ProgressRange(), range) << "the libraries are not counted";
  EXPECT_EQ(in.BytesCopied(), range);
  EXPECT_FALSE(in.ProgressShown());
  EXPECT_FALSE(std::filesystem::exists(root() / "ran.txt")) << "a fresh install is not started";
  EXPECT_TRUE(std::filesystem::exists(root() / kCard / "Devices.txt")) << "the settings were saved";
}

TEST_F(InstallerTest, AnUnchangedInstallationIsStartedWithInitAndNothingElseHappens) {
  Handheld(5);
  Write(root() / kInstalled / "WavrixBTMS5.exe", kProgram + "# 5\n");
  std::filesystem::permissions(root() / kInstalled / "WavrixBTMS5.exe",
                               std::filesystem::perms::owner_all);
  Installer& in = Make();
  ASSERT_TRUE(in.Start());
  EXPECT_EQ(in.Work(), Installer::Outcome::kStartedUnchanged);
  ASSERT_TRUE(testing_support::WaitFor([&] { return Slurp(root() / "ran.txt").ends_with("\n"); }));
  EXPECT_EQ(Slurp(root() / "ran.txt"),
            "-init|" + std::filesystem::absolute(root() / "Windows/StartUp").string() + "\n");
  EXPECT_FALSE(std::filesystem::exists(root() / "Windows/Fonts/GOTHIC.TTF"));
  EXPECT_FALSE(std::filesystem::exists(root() / kCard / "Devices.txt")) << "nothing saved";
  EXPECT_FALSE(std::filesystem::exists(root() / "Windows/StartUp/Valdur Wavrix.lnk"));
  EXPECT_EQ(in.BytesCopied(), 0u);
}

TEST_F(InstallerTest, AnUnchangedInstallationThatCannotStartIsShown) {
  Handheld(5);
  const std::string notRunnable = "not a program for this handheld\n";
  Write(root() / kCard / "WavrixBTMS5.exe", notRunnable);
  Write(root() / kInstalled / "WavrixBTMS5.exe", notRunnable);
  std::filesystem::permissions(root() / kInstalled / "WavrixBTMS5.exe",
                               std::filesystem::perms::owner_all);
  Installer& in = Make();
  ASSERT_TRUE(in.Start());
  EXPECT_EQ(in.Work(), Installer::Outcome::kNotStarted);
  EXPECT_EQ(prompt_.Shown(),
            std::vector<std::string>{"Wavrix could not be started: " +
                                     (root() / kInstalled / "WavrixBTMS5.exe").string() +
                                     ": Exec format error"});
}

TEST_F(InstallerTest, ALongerInstalledProgramWithTheSameStartIsReplaced) {
  Handheld(5);
  const std::string card(Installer::kCompareBlock, 'p');  // ends on a block boundary
  Write(root() / kCard / "WavrixBTMS5.exe", card);
  Write(root() / kInstalled / "WavrixBTMS5.exe", card + "and an older tail");
  Installer& in = Make();
  ASSERT_TRUE(in.Start());
  EXPECT_EQ(in.Work(), Installer::Outcome::kInstalled);
  EXPECT_EQ(Slurp(root() / kInstalled / "WavrixBTMS5.exe"), card);
}

TEST_F(InstallerTest, TheStackLibraryChoosesWcAndItsLibrariesGoToTheInstallFolder) {
  Handheld(5);
  Write(root() / "Windows/BtSdkCE30.dll", "the stack");
  Installer& in = Make();
  ASSERT_TRUE(in.Start());
  Write(root() / kCard / "WavrixBTWC5.exe", kProgram);
  EXPECT_EQ(in.Work(), Installer::Outcome::kInstalled);
  EXPECT_TRUE(prompt_.Shown().empty());
  EXPECT_EQ(Slurp(root() / kInstalled / "BtCoreIf.dll"), "core");
  EXPECT_EQ(Slurp(root() / kInstalled / "BtSdkCE30.dll"), "sdk");
  EXPECT_EQ(Slurp(root() / "Windows/BtSdkCE30.dll"), "the stack");
  EXPECT_TRUE(std::filesystem::exists(root() / "Windows/StartUp/Valdur Wavrix.lnk"));
}

TEST_F(InstallerTest, ABuildTheCardDoesNotCarryInstallsNothing) {
  Handheld(5);
  Write(root() / "Windows/BtSdkCE30.dll", "the stack");
  Installer& in = Make();
  ASSERT_TRUE(in.Start());
  EXPECT_EQ(in.Work(), Installer::Outcome::kNotInstalled);
  EXPECT_EQ(prompt_.Shown(),
            std::vector<std::string>{"Can't open source \\Storage Card\\2577\\WavrixBTWC5.exe"});
  EXPECT_FALSE(std::filesystem::exists(root() / kInstalled / "BtCoreIf.dll"))
      << "libraries without their program are no installation";
  EXPECT_FALSE(std::filesystem::exists(root() / "Windows/StartUp/Valdur Wavrix.lnk"));
  EXPECT_TRUE(std::filesystem::exists(root() / kCard / "Devices.txt"));
}

TEST_F(InstallerTest, AFontInUseIsSkippedQuietlyAndCountedAndShortcutsStillMade) {
  Handheld(5);
  std::filesystem::create_directories(root() / "Windows/Fonts/GOTHIC.TTF");  // cannot be opened
  Installer& in = Make();
  ASSERT_TRUE(in.Start());
  in.Work();
  EXPECT_TRUE(prompt_.Shown().empty());
  EXPECT_EQ(in.BytesCopied(), in.ProgressRange());
  EXPECT_EQ(clock_.Milliseconds(), Installer::kInUsePauseMs);
  EXPECT_TRUE(std::filesystem::exists(root() / "Windows/StartUp/Valdur Wavrix.lnk"));
}

TEST_F(InstallerTest, AProgramThatCannotBeWrittenAsksToExitAndMakesNoShortcut) {
  Handheld(5);
  std::filesystem::create_directories(root() / kInstalled / "WavrixBTMS5.exe");
  Installer& in = Make();
  ASSERT_TRUE(in.Start());
  in.Work();
  EXPECT_EQ(prompt_.Shown(), std::vector<std::string>{"Please exit Wavrix first!"});
  EXPECT_FALSE(std::filesystem::exists(root() / "Windows/StartUp/Valdur Wavrix.lnk"));
  EXPECT_TRUE(std::filesystem::exists(root() / kCard / "Devices.txt"));
}

struct FailedWriteCase {
  const char* name;
  const char* tooLarge;  // the card's file that cannot be written whole
  const char* shown;     // where the user is told it failed
};

void PrintTo(const FailedWriteCase& c, std::ostream* os) {
  *os << c.name;
}

class InstallerFailedWriteTest : public InstallerTest,
                                 public ::testing::WithParamInterface<FailedWriteCase> {};

TEST_P(InstallerFailedWriteTest, LeavesTheOldInstallationAsItWas) {
  constexpr rlim_t kLimit = 8192;
  Handheld(5);
  Write(root() / kCard / GetParam().tooLarge, std::string(kLimit + 1000, 'n'));
  const std::vector<std::string> old = {kInstalled + std::string("/WavrixBTMS5.exe"),
                                        "Windows/Fonts/GOTHIC.TTF",
                                        "Windows/Fonts/GOTHICB.TTF",
                                        "Windows/StartUp/Valdur Wavrix.lnk",
                                        "Windows/Start Menu/Valdur Wavrix.lnk",
                                        "Windows/Start Menu/Programs/Valdur Wavrix.lnk"};
  for (const auto& f : old) Write(root() / f, "old " + f);
  Installer& in = Make();
  ASSERT_TRUE(in.Start());
  Installer::Outcome outcome;
  {
    const testing_support::FileSizeLimit limit(kLimit);
    outcome = in.Work();
  }
  EXPECT_EQ(outcome, Installer::Outcome::kNotInstalled);
  EXPECT_EQ(prompt_.Shown(), std::vector<std::string>{std::string("Can't write ") +
                                                      GetParam().shown + ": File too large"});
  for (const auto& f : old) EXPECT_EQ(Slurp(root() / f), "old " + f) << f;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root() / "Windows")) {
    EXPECT_EQ(e.path().filename().string().find(".tmp."), std::string::npos) << e.path();
  }
  EXPECT_FALSE(std::filesystem::exists(root() / "ran.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    , InstallerFailedWriteTest,
    ::testing::Values(FailedWriteCase{"Program", "WavrixBTMS5.exe",
                                      "\\Windows\\Start Menu\\Programs\\Wavrix\\WavrixBTMS5.exe"},
                      FailedWriteCase{"Font", "GOTHICB.TTF", "\\Windows\\Fonts\\GOTHICB.TTF"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(InstallerTest, StopsARunningCopyOfTheChosenBuildOnly) {
  Handheld(5);
  // Real programs in the tree, so their processes are the handheld's.
  Write(root() / kInstalled / "WavrixBTMS5.exe", "");
  std::filesystem::copy_file("/bin/sleep", root() / kInstalled / "WavrixBTMS5.exe",
                             std::filesystem::copy_options::overwrite_existing);
  Write(root() / kInstalled / "WavrixBTMS4.exe", "");
  std::filesystem::copy_file("/bin/sleep", root() / kInstalled / "WavrixBTMS4.exe",
                             std::filesystem::copy_options::overwrite_existing);
  Load();
  platform::HandheldProcesses processes(*env_);
  const pid_t chosen =
      processes.Start("\\Windows\\Start Menu\\Programs\\Wavrix\\WavrixBTMS5.exe", {"30"});
  const pid_t other =
      processes.Start("\\Windows\\Start Menu\\Programs\\Wavrix\\WavrixBTMS4.exe", {"30"});
  ASSERT_GT(chosen, 0);
  ASSERT_GT(other, 0);
  ASSERT_TRUE(testing_support::WaitFor([&] {
    return processes.Find("WavrixBTMS5.exe").size() == 1 &&
           processes.Find("WavrixBTMS4.exe").size() == 1;
  }));

  Installer& in = Make();
  ASSERT_TRUE(in.Start());
  EXPECT_TRUE(processes.Find("WavrixBTMS5.exe").empty());
  EXPECT_EQ(processes.Find("WavrixBTMS4.exe"), std::vector<pid_t>{other});
  in.Work();
  EXPECT_TRUE(prompt_.Shown().empty()) << "the other build's process blocks nothing";
  EXPECT_EQ(Slurp(root() / kInstalled / "WavrixBTMS5.exe"), kProgram + "# 5\n");
  EXPECT_TRUE(platform::HandheldProcesses::Terminate(other));
}

TEST_F(InstallerTest, DevicesMergeKeepsTheTenNewestAndTheStarredDefault) {
  Handheld(5);
  Load();
  {
    remote::link::DeviceStore before(registry_, *env_);
    for (int i = 0; i < 8; ++i) {
      remote::link::DeviceEntry e;
      e.address = *platform::BtAddress::Parse("00:00:00:00:00:0" + std::to_string(i));
      e.friendlyName = "Unit " + std::to_string(i);
      e.serviceName = "Serial";
      before.Merge(e, i == 0);
    }
    ASSERT_TRUE(before.Save());
  }
  // Five more: the three oldest registry entries drop out; "*" names the new default.
  std::string lines;
  for (int i = 0; i < 5; ++i) {
    lines += std::string(i == 3 ? "*" : " ") + "0000" + "0000001" + std::to_string(i) + " \"Card " +
             std::to_string(i) + "\" \"Serial\"\n";
  }
  Write(root() / kCard / "Devices.txt", lines);
  Installer& in = Make();
  ASSERT_TRUE(in.Start());
  in.Work();

  remote::link::DeviceStore after(registry_, *env_);
  ASSERT_TRUE(after.Load());
  std::vector<std::string> names;
  for (const auto& d : after.Devices()) names.push_back(d.friendlyName);
  EXPECT_EQ(names, (std::vector<std::string>{"Unit 3", "Unit 4", "Unit 5", "Unit 6", "Unit 7",
                                             "Card 0", "Card 1", "Card 2", "Card 3", "Card 4"}))
      << "the newest ten";
  EXPECT_EQ(after.DefaultName(), "Card 3");
}

TEST_F(InstallerTest, WithoutACardTheHandheldIsStillAdjustedAndNothingCopied) {
  Handheld(5, false);
  std::string error;
  registry_.Modify(
      Hive::kCurrentUser,
      [](platform::RegistryHive& h) {
        h.Set("ControlPanel\\Volume", "Screen", {platform::kRegDword, {5, 0, 0, 0}});
        h.Set("ControlPanel\\Backlight", "Brightness", {platform::kRegDword, {9, 0, 0, 0}});
      },
      error);
  registry_.Modify(
      Hive::kLocalMachine,
      [](platform::RegistryHive& h) {
        for (auto* k : {"40C5", "40C6", "40C1"})
          h.CreateKey(std::string("SOFTWARE\\Microsoft\\Shell\\Keys\\") + k);
      },
      error);
  Installer& in = Make();
  EXPECT_FALSE(in.Start()) << "no logo without a card: the dialog ends";
  platform::RegistryHive user, machine;
  registry_.Read(Hive::kCurrentUser, user, error);
  registry_.Read(Hive::kLocalMachine, machine, error);
  const platform::RegistryValue zero{platform::kRegDword, {0, 0, 0, 0}};
  const platform::RegistryValue one{platform::kRegDword, {1, 0, 0, 0}};
  for (auto* v : Installer::kVolumeValues) {
    ASSERT_NE(user.Query(Installer::kVolumeKey, v), nullptr) << v;
    EXPECT_EQ(*user.Query(Installer::kVolumeKey, v), zero) << v;
  }
  for (auto* v : Installer::kBacklightValues) {
    ASSERT_NE(user.Query(Installer::kBacklightKey, v), nullptr) << v;
    EXPECT_EQ(*user.Query(Installer::kBacklightKey, v), one) << v;
  }
  EXPECT_FALSE(machine.HasKey("SOFTWARE\\Microsoft\\Shell\\Keys\\40C5"));
  EXPECT_FALSE(machine.HasKey("SOFTWARE\\Microsoft\\Shell\\Keys\\40C6"));
  EXPECT_TRUE(machine.HasKey("SOFTWARE\\Microsoft\\Shell\\Keys\\40C1"));
  EXPECT_FALSE(std::filesystem::exists(root() / kInstalled / "WavrixBTMS5.exe"));
}

}  // namespace
}  // namespace installer
