// The runtime folder check every program makes before it serves or opens a
// device socket: a folder someone else could write is never used.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "../support/TempDir.h"
#include "platform/RuntimeDir.h"

namespace platform {
namespace {

using testing_support::TempDir;

unsigned ModeOf(const std::filesystem::path& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(RuntimeDirTest, FoldersOthersCouldWriteOrOwnAreRefusedByName) {
  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
    const char* why;  // empty: accepted
  };
  const Case cases[] = {
      {"own, private", [](const auto& p) { mkdir(p.c_str(), 0700); }, ""},
      {"own, readable by others", [](const auto& p) { mkdir(p.c_str(), 0755); }, ""},
      {"writable by all",
       [](const auto& p) {
         mkdir(p.c_str(), 0700);
         chmod(p.c_str(), 0777);
       },
       "can be written by other users (mode 0777)"},
      {"writable by the group",
       [](const auto& p) {
         mkdir(p.c_str(), 0700);
         chmod(p.c_str(), 0770);
       },
       "can be written by other users (mode 0770)"},
      {"sticky and writable by all",
       [](const auto& p) {
         mkdir(p.c_str(), 0700);
         chmod(p.c_str(), 01777);
       },
       "can be written by other users"},
      {"another user's",
       [](const auto& p) {
         mkdir(p.c_str(), 0700);
         chown(p.c_str(), 65534, 65534);
       },
       "belongs to another user (uid 65534)"},
      {"a file", [](const auto& p) { std::ofstream(p) << "x"; }, "is not a folder"},
      {"a link to a private folder",
       [](const auto& p) {
         const auto target = p.string() + "-target";
         mkdir(target.c_str(), 0700);
         symlink(target.c_str(), p.c_str());
       },
       "is not a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const auto folder = dir.path() / "mrx";
    c.make(folder);
    for (const bool create : {false, true}) {
      std::string error;
      const bool ok = CheckPrivateDir(folder, create, error);
      if (*c.why == '\0') {
        EXPECT_TRUE(ok) << error;
      } else {
        EXPECT_FALSE(ok);
        EXPECT_NE(error.find(folder.string()), std::string::npos) << error;
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
      }
    }
  }
}

TEST(RuntimeDirTest, AMissingFolderIsMadePrivateOnlyWhenAsked) {
  TempDir dir;
  const auto folder = dir.path() / "a" / "mrx";
  std::string error;
  EXPECT_TRUE(CheckPrivateDir(folder, false, error)) << "nothing can be served from it";
  EXPECT_FALSE(std::filesystem::exists(folder));
  const mode_t old = umask(0);  // the folder's mode may not rely on the umask
  EXPECT_TRUE(CheckPrivateDir(folder, true, error)) << error;
  umask(old);
  EXPECT_EQ(ModeOf(folder), 0700u);
}

}  // namespace
}  // namespace platform
