#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "../support/TempDir.h"
#include "platform/AtomicFile.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

std::string Contents(const fs::path& path) {
  std::string text;
  EXPECT_TRUE(ReadWholeFile(path, text)) << path;
  return text;
}

void Put(const fs::path& path, const std::string& text) {
  std::ofstream(path) << text;
}

// Names of files in `dir` that hold ".tmp.": what a failed or finished write left behind.
std::vector<std::string> Leftovers(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().filename().string().find(".tmp.") != std::string::npos) {
      names.push_back(e.path().filename().string());
    }
  }
  return names;
}

TEST(WriteOutputFileTest, EachKindOfPlaceGetsTheImageOrANamedRefusal) {
  struct Row {
    const char* name;
    // Prepares the place in `dir` and returns the path to give.
    std::function<std::string(const fs::path& dir)> prepare;
    // Empty when the write must succeed; else the whole error expected.
    std::function<std::string(const std::string& given)> error;
    // Where the bytes must be found afterwards, relative to `dir`.
    const char* holder;
  };
  const std::string noError;
  const Row rows[] = {
      {"NewFile", [](const fs::path& d) { return (d / "image.bin").string(); },
       [&](const std::string&) { return noError; }, "image.bin"},
      {"ExistingFileIsReplaced",
       [](const fs::path& d) {
         Put(d / "image.bin", "an older and longer image");
         return (d / "image.bin").string();
       },
       [&](const std::string&) { return noError; }, "image.bin"},
      {"SymlinkIsFollowed",
       [](const fs::path& d) {
         fs::create_directory(d / "keep");
         Put(d / "keep" / "real.bin", "old");
         fs::create_symlink("keep/real.bin", d / "link.bin");
         return (d / "link.bin").string();
       },
       [&](const std::string&) { return noError; }, "keep/real.bin"},
      {"DanglingSymlinkCreatesItsTarget",
       [](const fs::path& d) {
         fs::create_symlink("made.bin", d / "link.bin");
         return (d / "link.bin").string();
       },
       [&](const std::string&) { return noError; }, "made.bin"},
      {"LongestFileName",
       [](const fs::path& d) { return (d / std::string(NAME_MAX, 'n')).string(); },
       [&](const std::string&) { return noError; }, nullptr},
      {"Directory",
       [](const fs::path& d) {
         fs::create_directory(d / "folder");
         return (d / "folder").string();
       },
       [](const std::string& given) { return given + ": is a directory"; }, nullptr},
      {"SymlinkToADirectory",
       [](const fs::path& d) {
         fs::create_directory(d / "folder");
         fs::create_directory_symlink("folder", d / "link");
         return (d / "link").string();
       },
       [](const std::string& given) { return given + ": is a directory"; }, nullptr},
      {"MissingFolder", [](const fs::path& d) { return (d / "none" / "image.bin").string(); },
       [](const std::string& given) { return given + ": No such file or directory"; }, nullptr},
      {"NameTooLong",
       [](const fs::path& d) { return (d / std::string(NAME_MAX + 1, 'n')).string(); },
       [](const std::string& given) { return given + ": File name too long"; }, nullptr},
  };
  const std::string image("\x01\x00\xFFsettings", 11);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TempDir dir;
    const std::string given = r.prepare(dir.path());
    const std::string expected = r.error(given);
    std::string error;
    EXPECT_EQ(WriteOutputFile(given, image, error), expected.empty()) << error;
    EXPECT_EQ(error, expected);
    if (expected.empty()) {
      EXPECT_EQ(Contents(r.holder ? (dir.path() / r.holder).string() : given), image);
    }
    EXPECT_TRUE(Leftovers(dir.path()).empty());
  }
}

TEST(WriteOutputFileTest, ReplacingKeepsTheLinkAndTheFileMode) {
  TempDir dir;
  const fs::path real = dir.path() / "real.bin";
  Put(real, "old");
  ASSERT_EQ(chmod(real.c_str(), 0600), 0);
  fs::create_symlink(real, dir.path() / "link.bin");
  struct stat before {};
  ASSERT_EQ(stat(real.c_str(), &before), 0);
  std::string error;
  ASSERT_TRUE(WriteOutputFile((dir.path() / "link.bin").string(), "new", error)) << error;
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.bin"));
  struct stat after {};
  ASSERT_EQ(stat(real.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino) << "replaced by a rename, not rewritten in place";
  EXPECT_EQ(after.st_mode & 07777, 0600u);
  EXPECT_EQ(Contents(real), "new");
}

TEST(WriteOutputFileTest, StreamsAreWrittenThrough) {
  const std::string image(3000, 'x');
  {
    SCOPED_TRACE("Fifo");
    TempDir dir;
    const fs::path fifo = dir.path() / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] {
      std::ifstream in(fifo, std::ios::binary);
      got.assign(std::istreambuf_iterator<char>(in), {});
    });
    std::string error;
    EXPECT_TRUE(WriteOutputFile(fifo.string(), image, error)) << error;
    reader.join();
    EXPECT_EQ(got, image);
    EXPECT_TRUE(fs::is_fifo(fifo)) << "not replaced by a file";
  }
  {
    SCOPED_TRACE("DescriptorName");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string error;
    EXPECT_TRUE(WriteOutputFile("/dev/fd/" + std::to_string(fds[1]), image, error)) << error;
    close(fds[1]);
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) got.append(buffer, n);
    close(fds[0]);
    EXPECT_EQ(got, image);
  }
}

TEST(ReadFileUpToTest, SizeIsCheckedBeforeReading) {
  TempDir dir;
  const fs::path file = dir.path() / "image.bin";
  Put(file, std::string(16, 'a'));
  std::string content, error;
  EXPECT_TRUE(ReadFileUpTo(file, 16, content, error)) << error;
  EXPECT_EQ(content, std::string(16, 'a'));
  EXPECT_FALSE(ReadFileUpTo(file, 15, content, error));
  EXPECT_EQ(error, file.string() + ": too large (16 bytes; at most 15)");

  // Four gigabytes that take no room: refused at once, not read.
  const fs::path huge = dir.path() / "huge.bin";
  Put(huge, "");
  fs::resize_file(huge, std::uintmax_t{4} << 30);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadFileUpTo(huge, 2048, content, error));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(error, huge.string() + ": too large (4294967296 bytes; at most 2048)");

  EXPECT_FALSE(ReadFileUpTo(dir.path(), 2048, content, error));
  EXPECT_EQ(error, dir.path().string() + ": is a directory");
  EXPECT_FALSE(ReadFileUpTo(dir.path() / "none", 2048, content, error));
  EXPECT_EQ(error, (dir.path() / "none").string() + ": No such file or directory");
}

TEST(ReadFileUpToTest, AStreamIsCutOffAtTheLimit) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string sent(5000, 's');  // fits the pipe: the write does not wait
  ASSERT_EQ(write(fds[1], sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
  close(fds[1]);
  const std::string name = "/dev/fd/" + std::to_string(fds[0]);
  std::string content = "unchanged", error;
  EXPECT_FALSE(ReadFileUpTo(name, 4096, content, error));
  EXPECT_EQ(error, name + ": too large (more than 4096 bytes)");
  EXPECT_EQ(content, "unchanged");
  close(fds[0]);
}

}  // namespace
}  // namespace platform
