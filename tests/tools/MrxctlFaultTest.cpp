// Faults of files and folders against the real mrxctl and mrx520-sim processes:
// the exit code and the first line a user sees, each within its time limit.
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string_view>
#include <utility>

#include "../support/RunProgram.h"
#include "../support/SimProcess.h"
#include "platform/AtomicFile.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

constexpr int kExitCannotServe = 71;  // mrx520-sim

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

std::string Contents(const fs::path& path) {
  std::string text;
  platform::ReadWholeFile(path, text);
  return text;
}

fs::path Fixture(const char* name) {
  return fs::path(MRX_SOURCE_DIR) / "tests" / "fixtures" / "hive" / name;
}

// A file of `size` bytes that takes no room on the disk.
void Sparse(const fs::path& path, std::uintmax_t size) {
  std::ofstream(path).close();
  fs::resize_file(path, size);
}

class MrxctlFaultTest : public ::testing::Test {
 protected:
  MrxctlFaultTest() : sim(dir.path(), {"--no-state"}) {
    // What a plain read of the main unit's settings saves: the bytes every
    // special output must receive.
    std::string text;
    EXPECT_EQ(Run(Mrxctl() + "settings read 0 " + (dir.path() / "reference.bin").string(), text),
              kExitOk)
        << text;
    reference = Contents(dir.path() / "reference.bin");
    EXPECT_FALSE(reference.empty());
  }
  std::string Environment() const {
    return "MRX_RUNTIME_DIR=" + dir.path().string() +
           " WAVRIX_BLUETOOTH=sim WAVRIX_HANDHELD=" + Handheld().string() + " ";
  }
  std::string Mrxctl() const { return Environment() + MRX_BINARY_DIR "/tools/mrxctl/mrxctl "; }
  static std::string Sim() { return MRX_BINARY_DIR "/sim/mrx520-sim "; }
  fs::path Handheld() const { return dir.path() / "handheld"; }
  fs::path Hive() const { return Handheld() / "Windows" / "Registry" / "HKLM.reg"; }
  static int Run(const std::string& command, std::string& output,
                 std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return testing_support::RunProgram("cd /tmp && " + command, output, limit);
  }

  TempDir dir;
  TempDir work;  // each row's files
  testing_support::SimProcess sim;
  std::string reference;
};

TEST_F(MrxctlFaultTest, EachFaultEndsInItsExitCodeAndAMessageThatNamesIt) {
  const fs::path w = work.path();
  struct Row {
    const char* name;
    // Prepares the row's files and returns the command line (stderr included in the output).
    std::function<std::string()> prepare;
    int exitCode;
    std::function<std::string()> firstLine;
    std::chrono::milliseconds limit;
  };
  const auto seconds = [](int s) { return std::chrono::milliseconds(s * 1000); };
  const Row rows[] = {
      {"HiveCutOffInAValue",
       [&] {
         fs::create_directories(Hive().parent_path());
         fs::copy_file(Fixture("hklm-cut-off-in-a-value.reg"), Hive(),
                       fs::copy_options::overwrite_existing);
         return Mrxctl() + "remote status 2>&1";
       },
       kExitDataError,
       [&] {
         return "mrxctl: " + Hive().string() +
                ": line 5: bad value data: \"DefaultName\"=hex(1):56,61,6c,";
       },
       seconds(5)},
      {"HiveWithAZeroedBlock",
       [&] {
         fs::copy_file(Fixture("hklm-zeroed-block.reg"), Hive(),
                       fs::copy_options::overwrite_existing);
         return Mrxctl() + "remote list 2>&1";
       },
       kExitDataError,
       [&] {
         return "mrxctl: " + Hive().string() +
                ": line 4: bad value name: "
                "\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00";
       },
       seconds(5)},
      {"HiveOfFourGigabytes",
       [&] {
         Sparse(Hive(), std::uintmax_t{4} << 30);
         return Mrxctl() + "remote status 2>&1";
       },
       kExitDataError,
       [&] {
         return "mrxctl: " + Hive().string() + ": too large (4294967296 bytes; at most 4194304)";
       },
       seconds(5)},
      {"SettingsImageOfFourGigabytes",
       [&] {
         fs::remove(Hive());
         Sparse(w / "huge.bin", std::uintmax_t{4} << 30);
         return Mrxctl() + "settings write 0 " + (w / "huge.bin").string() + " 2>&1";
       },
       kExitDataError,
       [&] {
         return "mrxctl: cannot read " + (w / "huge.bin").string() +
                ": too large (4294967296 bytes; at most 2048)";
       },
       seconds(5)},
      {"ScenarioOfFourGigabytes",
       [&] {
         Sparse(w / "huge.scenario", std::uintmax_t{4} << 30);
         return Sim() + "--no-state --runtime-dir " + (w / "rt").string() + " --scenario " +
                (w / "huge.scenario").string() + " 2>&1";
       },
       kExitDataError,
       [&] {
         return "mrx520-sim: cannot read scenario " + (w / "huge.scenario").string() +
                ": too large (4294967296 bytes; at most 1048576)";
       },
       seconds(5)},
      {"OutputIsADirectory",
       [&] {
         fs::create_directory(w / "folder");
         return Mrxctl() + "settings read 0 " + (w / "folder").string() + " 2>&1";
       },
       kExitIoError,
       [&] { return "mrxctl: cannot write " + (w / "folder").string() + ": is a directory"; },
       seconds(10)},
      {"OutputInAMissingFolder",
       [&] { return Mrxctl() + "settings read 0 " + (w / "none" / "a.bin").string() + " 2>&1"; },
       kExitIoError,
       [&] {
         return "mrxctl: cannot write " + (w / "none" / "a.bin").string() +
                ": No such file or directory";
       },
       seconds(10)},
      {"RuntimeFolderTooLongForMrxctl",
       [&] {
         return "MRX_RUNTIME_DIR=" + (w / std::string(120, 'r')).string() +
                " " MRX_BINARY_DIR "/tools/mrxctl/mrxctl discover 2>&1";
       },
       kExitUnavailable,
       [&] {
         const fs::path folder = w / std::string(120, 'r');
         return "mrxctl: the runtime folder " + folder.string() + " is too long for a socket (" +
                (folder / "MRXUSBDevice0").string() + " has " +
                std::to_string((folder / "MRXUSBDevice0").string().size()) +
                " bytes; at most 107 fit).";
       },
       seconds(5)},
      {"RuntimeFolderTooLongForTheSimulator",
       [&] {
         return Sim() + "--no-state --runtime-dir " + (w / std::string(120, 'r')).string() +
                " 2>&1";
       },
       kExitCannotServe,
       [&] {
         const fs::path folder = w / std::string(120, 'r');
         return "mrx520-sim: the runtime folder " + folder.string() +
                " is too long for a socket (" + (folder / "MRXUSBDevice0").string() + " has " +
                std::to_string((folder / "MRXUSBDevice0").string().size()) +
                " bytes; at most 107 fit); choose a shorter one (--runtime-dir)";
       },
       seconds(5)},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string output;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(r.prepare(), output, r.limit), r.exitCode) << output;
    EXPECT_LT(std::chrono::steady_clock::now() - start, r.limit);
    EXPECT_EQ(FirstLine(output), r.firstLine());
  }
}

// Special places for a command's output file: each receives exactly the
// bytes a plain file does (a picture: a PNG), and stays what it was (a FIFO,
// a link). The same places for every command that writes a file.
TEST_F(MrxctlFaultTest, EveryOutputFileReachesEverySpecialPlace) {
  const fs::path w = work.path();
  struct Command {
    const char* name;
    std::string line;    // before the file name
    std::string suffix;  // of every file name given
    bool picture;        // the same picture, not the same bytes: the display's clock moves
  };
  const Command commands[] = {
      {"settings read", Mrxctl() + "settings read 0 ", ".bin", false},
      {"klf curve get", Mrxctl() + "klf curve get 0 ", ".txt", false},
      {"display screenshot", Mrxctl() + "display screenshot ", ".png", true},
  };
  const std::string longName(NAME_MAX - 4, 'n');
  struct Row {
    const char* name;
    // Makes the place ready in the folder `at`: a shell command to run first
    // (or "") and the file name to give.
    std::function<std::pair<std::string, std::string>(const fs::path& at,
                                                      const std::string& suffix)>
        prepare;
    // The bytes the place received; `output` is what came on standard output.
    std::function<std::string(const fs::path& at, const std::string& suffix,
                              const std::string& output)>
        received;
    bool onStandardOutput;  // then notes go to standard error
  };
  const Row rows[] = {
      {"Dash",
       [](const fs::path&, const std::string&) {
         return std::pair{std::string(), std::string("-")};
       },
       [](const fs::path&, const std::string&, const std::string& output) { return output; }, true},
      {"DevStdout",
       [](const fs::path&, const std::string&) {
         return std::pair{std::string(), std::string("/dev/stdout")};
       },
       [](const fs::path&, const std::string&, const std::string& output) { return output; }, true},
      {"Fifo",
       [](const fs::path& at, const std::string& suffix) {
         const fs::path pipe = at / ("pipe" + suffix);
         mkfifo(pipe.c_str(), 0600);
         // A reader that copies what comes and says when it is done.
         return std::pair{"(cat " + pipe.string() + " > " + (at / "copy").string() + "; touch " +
                              (at / "done").string() + ") & ",
                          pipe.string()};
       },
       [](const fs::path& at, const std::string& suffix, const std::string&) {
         EXPECT_TRUE(fs::is_fifo(at / ("pipe" + suffix)));
         EXPECT_TRUE(testing_support::WaitFor([&] { return fs::exists(at / "done"); }));
         return Contents(at / "copy");
       },
       false},
      {"Symlink",
       [](const fs::path& at, const std::string& suffix) {
         fs::create_directories(at / "keep");
         std::ofstream(at / "keep" / ("real" + suffix)) << "old";
         fs::create_symlink("keep/real" + suffix, at / ("link" + suffix));
         return std::pair{std::string(), (at / ("link" + suffix)).string()};
       },
       [](const fs::path& at, const std::string& suffix, const std::string&) {
         EXPECT_TRUE(fs::is_symlink(at / ("link" + suffix)));
         return Contents(at / "keep" / ("real" + suffix));
       },
       false},
      {"LongestName",
       [&](const fs::path& at, const std::string& suffix) {
         return std::pair{std::string(), (at / (longName + suffix)).string()};
       },
       [&](const fs::path& at, const std::string& suffix, const std::string&) {
         return Contents(at / (longName + suffix));
       },
       false},
  };
  const std::string note = " 2>" + (w / "note.txt").string();
  for (const Command& c : commands) {
    std::string output;
    const fs::path plain = w / ("plain" + c.suffix);
    ASSERT_EQ(Run(c.line + plain.string() + note, output), kExitOk) << Contents(w / "note.txt");
    const std::string expected = Contents(plain);
    ASSERT_FALSE(expected.empty()) << c.name;
    for (const Row& r : rows) {
      SCOPED_TRACE(std::string(c.name) + ", " + r.name);
      const fs::path at = w / (c.suffix.substr(1) + "-" + r.name);
      fs::create_directories(at);
      const auto [before, file] = r.prepare(at, c.suffix);
      EXPECT_EQ(Run(before + c.line + file + note, output), kExitOk) << Contents(w / "note.txt");
      const std::string got = r.received(at, c.suffix, output);
      if (c.picture) {
        EXPECT_TRUE(got.starts_with("\x89PNG\r\n")) << got.substr(0, 40);
      } else {
        EXPECT_EQ(got, expected);
      }
      if (std::string_view(c.name) == "settings read") {
        const std::string saved = FirstLine(r.onStandardOutput ? Contents(w / "note.txt") : output);
        EXPECT_TRUE(saved.starts_with("saved " + std::to_string(expected.size()) +
                                      " bytes of module 0 (MRX520) to "))
            << saved;
      }
    }
  }
}

}  // namespace
}  // namespace tools::mrxctl
