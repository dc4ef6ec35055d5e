#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <mutex>
#include <sstream>

#include "../../support/TempDir.h"
#include "../../support/WaitFor.h"
#include "desktop/firmware/WorkerMessages.h"
#include "desktop/handheld/CPPCDoloThread.h"
#include "platform/RecordingTarget.h"

namespace desktop::handheld {
namespace {

namespace fw = desktop::firmware;
using platform::Message;

class RecordingPrompt final : public platform::Prompt {
 public:
  void Error(std::string_view title, std::string_view text) override {
    std::lock_guard lock(mutex_);
    shown_.push_back(std::string(title) + "|" + std::string(text));
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

// The embedded set with its installer swapped for a script that tells it ran,
// so a test never starts the real installer.
class PackageCopy {
 public:
  explicit PackageCopy(const fw::_DoloPacket* list, std::string_view installer = kScript) {
    for (const auto* r = list; !fw::IsDoloListEnd(r); r = r->next) records_.push_back(*r);
    segments_.reserve(records_.size());
    for (auto& r : records_) {
      if (r.kind == fw::kDoloHandheldFile && r.component == 128) {
        segments_.push_back({0, static_cast<std::uint32_t>(installer.size()), nullptr,
                             reinterpret_cast<const std::uint8_t*>(installer.data())});
        r.segments = &segments_.back();
      }
    }
    for (std::size_t i = 0; i < records_.size(); ++i) {
      records_[i].next = i + 1 < records_.size() ? &records_[i + 1] : nullptr;
    }
  }
  const fw::_DoloPacket* Head() const { return records_.data(); }

  static constexpr std::string_view kScript = "#!/bin/sh\necho started > started.txt\n";

 private:
  std::vector<fw::_DoloPacket> records_;
  std::vector<fw::DoloSegment> segments_;
};

class CPPCDoloThreadTest : public ::testing::Test {
 protected:
  void Handheld(const std::string& conf, const std::vector<std::string>& folders) {
    std::filesystem::create_directories(root());
    for (const auto& f : folders) std::filesystem::create_directories(root() / f);
    std::ofstream(root() / "handheld.conf") << conf;
  }
  // Runs the worker to its end and returns what it told its owner.
  std::vector<Message> Deploy(std::uint32_t connectWaitMs = 0) {
    platform::RemoteApi api(root());
    CPPCDoloThread worker(target_, api, prompt_, clock_, packages_.Head(), connectWaitMs);
    worker.Resume();
    worker.Join();
    exitCode_ = worker.ExitCode();
    return target_.Messages();
  }
  std::filesystem::path root() const { return dir_.path() / "hh"; }

  testing_support::TempDir dir_;
  platform::RecordingTarget target_;
  RecordingPrompt prompt_;
  platform::VirtualClock clock_;
  PackageCopy packages_{GetDoloBase()};
  int exitCode_ = -1;
};

constexpr const char* kArmConf =
    "os_major=5\nprocessor_architecture=5\nstorage_card=Storage Card\n";

TEST_F(CPPCDoloThreadTest, CopiesTheCarriedFilesWithTheirDatesAndStartsTheInstaller) {
  Handheld(kArmConf, {"Storage Card", "Windows"});
  const auto messages = Deploy();
  EXPECT_EQ(exitCode_, 1);
  EXPECT_TRUE(prompt_.Shown().empty());

  const auto folder = root() / "Storage Card" / "2577";
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (e.path().filename() != "started.txt") names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  // Both builds for the other maker's stack are not carried: skipped as success.
  EXPECT_EQ(names, (std::vector<std::string>{"Autorun.exe", "BtCoreIf.dll", "BtSdkCE30.dll",
                                             "GOTHIC.TTF", "GOTHICB.TTF", "Logo.bmp",
                                             "WavrixBTMS4.exe", "WavrixBTMS5.exe"}));

  // Each file is the package's image, dated as the package.
  for (const auto& f : CPPCDoloThread::kFiles) {
    const auto* r = fw::FindDoloPacket(packages_.Head(), fw::kDoloHandheldFile, 6, f.component);
    if (r == nullptr) continue;
    SCOPED_TRACE(f.name);
    EXPECT_EQ(Slurp(folder / f.name),
              std::string(reinterpret_cast<const char*>(r->segments->data), r->segments->length));
  }
  struct stat st {};
  ASSERT_EQ(::stat((folder / "WavrixBTMS4.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, platform::FromLocalTime({2009, 1, 27, 20, 2, 32, 0}));

  ASSERT_TRUE(
      testing_support::WaitFor([&] { return Slurp(folder / "started.txt") == "started\n"; }));

  std::vector<std::pair<std::uint32_t, std::string>> steps;
  for (const auto& m : messages) {
    if (m.id != fw::WM_WORKER_STATUS || !m.sent) steps.emplace_back(m.id, m.text);
  }
  EXPECT_EQ(steps, (std::vector<std::pair<std::uint32_t, std::string>>{
                       {fw::WM_WORKER_STATUS, "Waiting for connection ..."},
                       {fw::WM_WORKER_STARTED, ""},
                       {fw::WM_WORKER_STATUS, "Pocket PC update ..."},
                       {fw::WM_WORKER_STATUS, "Pocket PC update finished!"},
                       {fw::WM_WORKER_FINISHED, ""}}));
  std::vector<std::intptr_t> percents;
  for (const auto& m : messages) {
    if (m.sent) {
      percents.push_back(m.wParam);
      EXPECT_EQ(m.text, std::to_string(m.wParam) + "%: update in progress ...");
    }
  }
  ASSERT_EQ(percents.size(), 8u);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(percents.back(), 100) << "the last progress line before the result";
}

TEST_F(CPPCDoloThreadTest, UsesTheLastCardAndReplacesFilesInAnExisting2577) {
  Handheld(kArmConf + std::string("storage_card=SD Card\n"), {"Storage Card/2577", "SD Card/2577"});
  std::ofstream(root() / "SD Card" / "2577" / "Logo.bmp") << "an old logo, longer than the new one";
  std::ofstream(root() / "SD Card" / "2577" / "Notes.txt") << "kept";
  Deploy();
  EXPECT_EQ(exitCode_, 1);
  // "Storage Card" is listed after "SD Card".
  EXPECT_TRUE(std::filesystem::exists(root() / "Storage Card" / "2577" / "Autorun.exe"));
  EXPECT_FALSE(std::filesystem::exists(root() / "SD Card" / "2577" / "Autorun.exe"));
}

TEST_F(CPPCDoloThreadTest, AnExisting2577IsReusedAndItsFilesReplaced) {
  Handheld(kArmConf, {"Storage Card/2577"});
  std::ofstream(root() / "Storage Card" / "2577" / "Logo.bmp") << std::string(100000, 'x');
  std::ofstream(root() / "Storage Card" / "2577" / "Notes.txt") << "kept";
  Deploy();
  EXPECT_EQ(exitCode_, 1);
  const auto* logo = fw::FindDoloPacket(packages_.Head(), fw::kDoloHandheldFile, 6, 150);
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(std::filesystem::file_size(root() / "Storage Card" / "2577" / "Logo.bmp"),
            logo->segments->length);
  EXPECT_EQ(Slurp(root() / "Storage Card" / "2577" / "Notes.txt"), "kept");
}

struct FailureCase {
  const char* name;
  const char* conf;  // null: no handheld at all
  std::vector<std::string> folders;
  std::vector<std::string> prompts;
  const char* resultLine;              // null: no result line
  bool started;                        // WM_WORKER_STARTED was posted
  const char* blockingFile = nullptr;  // a plain file made first
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class CPPCDoloThreadFailureTest : public CPPCDoloThreadTest,
                                  public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CPPCDoloThreadFailureTest, TellsTheUserAndEnds) {
  const FailureCase& c = GetParam();
  if (c.conf != nullptr) Handheld(c.conf, c.folders);
  if (c.blockingFile != nullptr) std::ofstream(root() / c.blockingFile) << "x";
  const auto messages = Deploy(c.conf == nullptr ? 5000 : 0);
  EXPECT_EQ(exitCode_, 0);
  EXPECT_EQ(prompt_.Shown(), c.prompts);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().id, fw::WM_WORKER_FINISHED);
  EXPECT_EQ(messages.back().wParam, 0);
  std::vector<std::string> results;
  bool started = false;
  for (const auto& m : messages) {
    if (m.id == fw::WM_WORKER_STATUS && m.wParam == 100 && !m.sent) results.push_back(m.text);
    started |= m.id == fw::WM_WORKER_STARTED;
  }
  EXPECT_EQ(results,
            c.resultLine ? std::vector<std::string>{c.resultLine} : std::vector<std::string>{});
  EXPECT_EQ(started, c.started);
  if (c.conf == nullptr) {
    EXPECT_EQ(clock_.Milliseconds(), 5000u) << "waited in virtual time";
  }
}

INSTANTIATE_TEST_SUITE_P(
    , CPPCDoloThreadFailureTest,
    ::testing::Values(
        FailureCase{"NoHandheld", nullptr, {}, {"myMRX|ActiveSync not installed!"}, nullptr, false},
        FailureCase{"NotArm",
                    "processor_architecture=4\nstorage_card=Storage Card\n",
                    {"Storage Card"},
                    {"myMRX|Wrong PocketPC architecture!"},
                    nullptr,
                    true},
        FailureCase{"NoStorageCard",
                    "processor_architecture=5\n",
                    {"Storage Card"},
                    {"PDA Update|Please insert SDCard into your PDA and retry!"},
                    "Pocket PC update ERROR!",
                    true},
        // A file stands where the folder should be made.
        FailureCase{"FolderCannotBeMade",
                    "storage_card=Card\n",
                    {"Card"},
                    {"PDA Update|Please insert SDCard into your PDA and retry!"},
                    "Pocket PC update ERROR!",
                    true,
                    "Card/2577"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(CPPCDoloThreadTest, AFileThatCannotBeWrittenIsSkippedAndTheInstallerStillRuns) {
  Handheld(kArmConf, {"Storage Card/2577/Logo.bmp"});  // a folder in the logo's way
  const auto messages = Deploy();
  EXPECT_EQ(exitCode_, 0);
  EXPECT_EQ(messages[messages.size() - 2].text, "Pocket PC update ERROR!");
  EXPECT_TRUE(std::filesystem::exists(root() / "Storage Card" / "2577" / "GOTHICB.TTF"));
  EXPECT_TRUE(testing_support::WaitFor(
      [&] { return std::filesystem::exists(root() / "Storage Card" / "2577" / "started.txt"); }));
}

// An installer that cannot be started leaves the handheld without the
// update: that is a failure, never "finished".
TEST_F(CPPCDoloThreadTest, AnInstallerThatCannotStartIsAFailure) {
  Handheld(kArmConf, {"Storage Card"});
  packages_ = PackageCopy(GetDoloBase(), "no program for this handheld\n");
  const auto messages = Deploy();
  EXPECT_EQ(exitCode_, 0);
  const auto installer = root() / "Storage Card" / "2577" / "Autorun.exe";
  EXPECT_EQ(prompt_.Shown(), std::vector<std::string>{"myMRX|The installer could not be started: " +
                                                      installer.string() + ": Exec format error"});
  ASSERT_GE(messages.size(), 2u);
  const Message& result = messages[messages.size() - 2];
  EXPECT_EQ(result.text, "Pocket PC update ERROR!");
  EXPECT_EQ(fw::StatusKindOf(result.lParam), fw::StatusKind::kFault);
  EXPECT_EQ(messages.back().lParam, static_cast<std::intptr_t>(fw::UpdateReason::kCopyFailed));
}

// A card whose name leaves no room for a file's full path gets no file under
// a name cut short.
TEST_F(CPPCDoloThreadTest, APathTooLongForAFileWritesNothingUnderAnotherName) {
  const std::string card(190, 'c');
  Handheld("storage_card=" + card + "\n", {card});
  const auto messages = Deploy();
  EXPECT_EQ(exitCode_, 0);
  EXPECT_EQ(messages[messages.size() - 2].text, "Pocket PC update ERROR!");
  EXPECT_TRUE(std::filesystem::is_empty(root() / card / "2577"));
}

}  // namespace
}  // namespace desktop::handheld
