#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "../support/TempDir.h"
#include "../support/WaitFor.h"
#include "platform/HandheldProcesses.h"
#include "platform/RemoteApi.h"

namespace platform {
namespace {

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class RemoteApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(root() / "Storage Card");
    std::filesystem::create_directories(root() / "SD2");
    std::ofstream(root() / "handheld.conf")
        << "os_major=5\nprocessor_architecture=5\nstorage_card=Storage Card\nstorage_card=SD2\n";
  }
  std::filesystem::path root() const { return dir_.path() / "handheld"; }

  testing_support::TempDir dir_;
  VirtualClock clock_;
};

TEST_F(RemoteApiTest, WaitsForTheHandheldInVirtualTimeAndGivesUpAtTheLimit) {
  RemoteApi absent(dir_.path() / "none");
  EXPECT_FALSE(absent.Init(clock_, 3000));
  EXPECT_EQ(clock_.Milliseconds(), 3000u);
  EXPECT_NE(absent.LastError().find("no handheld"), std::string::npos);

  std::filesystem::remove(root() / "handheld.conf");
  RemoteApi bare(root());
  EXPECT_FALSE(bare.Init(clock_, 0)) << "a folder without handheld.conf is no handheld";

  SetUp();
  RemoteApi api(root());
  ASSERT_TRUE(api.Init(clock_, 0)) << api.LastError();
  EXPECT_EQ(api.ProcessorArchitecture(), RemoteApi::kArchitectureArm);
}

TEST_F(RemoteApiTest, FindListsTheRootWithCardsMarkedAndMatchesPatterns) {
  std::filesystem::create_directories(root() / "SD2" / "2577");
  std::ofstream(root() / "SD2" / "2577" / "Autorun.exe") << "ab";
  RemoteApi api(root());
  ASSERT_TRUE(api.Init(clock_, 0));
  std::vector<std::pair<std::string, std::uint32_t>> seen;
  RemoteApi::FindData d;
  auto h = api.FindFirst("\\*.*", d);
  ASSERT_NE(h, RemoteApi::kInvalidHandle);
  do seen.emplace_back(d.name, d.attributes);
  while (api.FindNext(h, d));
  api.FindClose(h);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::uint32_t>>{
                      {"SD2", kAttrDirectory | kAttrTemporary},
                      {"Storage Card", kAttrDirectory | kAttrTemporary}}));

  h = api.FindFirst("\\sd2\\2577\\AUTORUN.*", d);
  ASSERT_NE(h, RemoteApi::kInvalidHandle);
  EXPECT_EQ(d.name, "Autorun.exe");
  EXPECT_EQ(d.size, 2u);
  EXPECT_TRUE(api.CloseHandle(h));
  EXPECT_EQ(api.FindFirst("\\SD2\\2577\\*.dll", d), RemoteApi::kInvalidHandle);
  EXPECT_EQ(api.FindFirst("\\..\\*.*", d), RemoteApi::kInvalidHandle);
}

TEST_F(RemoteApiTest, AFileAppearsOnlyWhenClosedWholeWithItsTime) {
  const auto target = root() / "Storage Card" / "WavrixBTMS5.exe";
  std::ofstream(target) << "old program";
  RemoteApi api(root());
  ASSERT_TRUE(api.Init(clock_, 0));
  EXPECT_TRUE(api.CreateDirectory("\\Storage Card\\2577"));
  EXPECT_FALSE(api.CreateDirectory("\\Storage Card\\2577")) << "already there";
  EXPECT_FALSE(api.CreateDirectory("\\..\\outside"));
  EXPECT_EQ(api.CreateFile("\\Storage Card\\..\\..\\x"), RemoteApi::kInvalidHandle);

  const std::uint8_t bytes[] = {'n', 'e', 'w'};
  auto h = api.CreateFile("\\Storage Card\\WavrixBTMS5.exe");
  ASSERT_NE(h, RemoteApi::kInvalidHandle);
  ASSERT_TRUE(api.WriteFile(h, bytes));
  EXPECT_EQ(Slurp(target), "old program") << "replaced only when whole";
  RemoteApi::FindData d;
  EXPECT_EQ(api.FindFirst("\\Storage Card\\*.partial", d), RemoteApi::kInvalidHandle)
      << "the copy in progress is not listed";
  const std::time_t when = 1233086552;
  ASSERT_TRUE(api.SetFileTime(h, when));
  ASSERT_TRUE(api.CloseHandle(h));
  EXPECT_EQ(Slurp(target), "new");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, when);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u) << "a program stays runnable";

  // Cut off half-way: the old file stays and no temporary is left behind.
  h = api.CreateFile("\\Storage Card\\WavrixBTMS5.exe");
  ASSERT_TRUE(api.WriteFile(h, std::span(bytes, 1)));
  api.Uninit();
  EXPECT_EQ(Slurp(target), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root() / "Storage Card"),
                          std::filesystem::directory_iterator()),
            2);  // the program and 2577
}

TEST_F(RemoteApiTest, ProcessesRunInTheTreeAndOnlyTheTreesAreFound) {
  // A real program inside the tree, so its process's program file lies there.
  const auto program = root() / "Storage Card" / "WavrixBTMS5.exe";
  std::filesystem::copy_file("/bin/sleep", program);
  const auto probe = root() / "Storage Card" / "Probe.exe";
  std::ofstream(probe) << "#!/bin/sh\necho \"$WAVRIX_HANDHELD|$(pwd)|$1\" > probe.txt\n";
  std::filesystem::permissions(probe, std::filesystem::perms::owner_all);

  RemoteApi api(root());
  ASSERT_TRUE(api.Init(clock_, 0));
  EXPECT_EQ(api.CreateProcess("\\..\\Probe.exe"), -1);
  ASSERT_GT(api.CreateProcess("\\Storage Card\\Probe.exe", {"-init"}), 0);
  const auto out = root() / "Storage Card" / "probe.txt";
  ASSERT_TRUE(testing_support::WaitFor([&] { return Slurp(out).ends_with("\n"); }));
  const auto abs = std::filesystem::absolute(root()).string();
  EXPECT_EQ(Slurp(out), abs + "|" + abs + "/Storage Card|-init\n");

  const pid_t pid = api.CreateProcess("\\Storage Card\\WavrixBTMS5.exe", {"30"});
  ASSERT_GT(pid, 0);
  HandheldProcesses processes(api.Env());
  ASSERT_TRUE(testing_support::WaitFor(
      [&] { return processes.Find("WavrixBTMS5.exe") == std::vector<pid_t>{pid}; }));
  EXPECT_TRUE(processes.Find("WavrixBTMS4.exe").empty());
  EXPECT_TRUE(processes.Find("sleep").empty()) << "host programs are not the handheld's";
  EXPECT_TRUE(HandheldProcesses::Terminate(pid));
  EXPECT_TRUE(processes.Find("WavrixBTMS5.exe").empty());
}

TEST(ShortcutTextTest, CountsTheTargetItCarries) {
  EXPECT_EQ(ShortcutText("\"\\Windows\\Start Menu\\Programs\\Wavrix\\WavrixBTMS5.exe\""),
            "53#\"\\Windows\\Start Menu\\Programs\\Wavrix\\WavrixBTMS5.exe\"");
}

}  // namespace
}  // namespace platform
