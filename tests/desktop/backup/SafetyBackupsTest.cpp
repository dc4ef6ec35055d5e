// The backups kept before updates: where they go, how they are named, and
// that the last ten of a unit stay.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "desktop/backup/BackupFile.h"
#include "desktop/backup/SafetyBackups.h"
#include "tests/support/TempDir.h"

namespace desktop::backup {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    had_ = std::getenv(name) != nullptr;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

UnitBackup Small(std::uint16_t serial) {
  UnitBackup b;
  b.serial = serial;
  ModuleBackup main;
  main.image = {0, 24, 1, 1, 0, 0, 0, 0};
  b.modules.push_back(main);
  return b;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(SafetyBackupsTest, KeepsTheLastTenPerSerialInTheDataFolder) {
  testing_support::TempDir dir;
  ScopedEnv data("XDG_DATA_HOME", dir.path().c_str());
  const fs::path folder = dir.path() / "mrx520" / "backups" / "1234";
  fs::create_directories(folder);
  std::ofstream(folder / "notes.txt") << "the user's own";
  const std::time_t start = 1709647331;  // 2024-03-05 14:02:11 UTC
  fs::path last;
  std::string error;
  for (int i = 0; i < 12; ++i) {
    last = SafetyBackups::Save(Small(1234), start + 60 * i, error);
    ASSERT_FALSE(last.empty()) << error;
  }
  EXPECT_EQ(last, folder / "20240305T141311Z-00.mrxb");
  const auto names = Names(folder);
  ASSERT_EQ(names.size(), 11u) << "ten backups and the user's file";
  EXPECT_EQ(names.front(), "20240305T140411Z-00.mrxb") << "the two oldest are gone";
  EXPECT_EQ(names.back(), "notes.txt");
  UnitBackup read;
  EXPECT_TRUE(BackupFile::Load(last, read, error)) << error;

  // Two in one second are told apart; another unit has its own folder.
  const fs::path again = SafetyBackups::Save(Small(1234), start + 60 * 11, error);
  EXPECT_EQ(again.filename(), "20240305T141311Z-01.mrxb");
  EXPECT_EQ(SafetyBackups::Save(Small(77), start, error).parent_path().filename(), "0077");
}

TEST(SafetyBackupsTest, FolderFollowsTheBaseDirectoryRules) {
  std::string error;
  {
    ScopedEnv data("XDG_DATA_HOME", "/data/here");
    EXPECT_EQ(SafetyBackups::Folder(error), fs::path("/data/here/mrx520/backups"));
  }
  {
    ScopedEnv data("XDG_DATA_HOME", "relative/ignored");
    ScopedEnv home("HOME", "/home/dealer");
    EXPECT_EQ(SafetyBackups::Folder(error), fs::path("/home/dealer/.local/share/mrx520/backups"));
  }
  {
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    ScopedEnv home("HOME", nullptr);
    EXPECT_TRUE(SafetyBackups::Folder(error).empty());
    EXPECT_NE(error.find("HOME"), std::string::npos);
    EXPECT_TRUE(SafetyBackups::Save(Small(1), 0, error).empty());
  }
}

}  // namespace
}  // namespace desktop::backup
