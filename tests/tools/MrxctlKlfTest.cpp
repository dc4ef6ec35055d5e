// "mrxctl klf" against the mrx520-sim program: curves through slope files,
// the card's update with its new version read back, and what a user sees when
// a file is bad or nothing answers.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "desktop/firmware/DoloPacket.h"
#include "platform/AtomicFile.h"
#include "protocol/klf/SlopeFile.h"
#include "protocol/unit/Klf310Image.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace {

namespace pk = protocol::klf;
using testing_support::TempDir;

// A loopback address of this test process alone: test programs running side
// by side never meet on the card's ports.
std::string OwnLoopback(int salt) {
  const auto pid = static_cast<unsigned>(getpid());
  return "127." + std::to_string(1 + (pid >> 16) % 254) + "." + std::to_string((pid >> 8) & 0xFF) +
         "." + std::to_string(1 + ((pid & 0xFF) + static_cast<unsigned>(salt) * 37) % 253);
}

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class MrxctlKlfTest : public ::testing::Test {
 protected:
  // A unit with its KLF310 at module 1 on an address of its own.
  void StartSim(int salt, bool withCard = true, std::vector<std::string> faults = {}) {
    host = OwnLoopback(salt);
    std::string error;
    ASSERT_TRUE(platform::WriteFileAtomically(
        dir.path() / "scenario",
        std::string("unit serial=1234\n") +
            (withCard ? "module address=1 type=11 ip=" + host + "\n" : "module address=1 type=2\n"),
        error))
        << error;
    sim = std::make_unique<testing_support::SimProcess>(dir.path() / "run", [&] {
      std::vector<std::string> args{"--scenario", (dir.path() / "scenario").string(), "--state",
                                    (dir.path() / "state").string()};
      args.insert(args.end(), faults.begin(), faults.end());
      return args;
    }());
    ASSERT_TRUE(sim->Running());
  }
  int Mrxctl(const std::string& args, std::string& output) {
    return testing_support::RunProgram("MRX_RUNTIME_DIR='" + (dir.path() / "run").string() + "' " +
                                           MRX_BINARY_DIR "/tools/mrxctl/mrxctl " + args + " 2>&1",
                                       output);
  }
  std::string File(const char* name) { return (dir.path() / name).string(); }

  TempDir dir;
  std::string host;
  std::unique_ptr<testing_support::SimProcess> sim;
};

// A curve with different values in every column and row.
std::string PatternFile() {
  std::vector<pk::CurveBin> bins(pk::CurveBin::kBinCount);
  for (int k = 0; k < pk::CurveBin::kBinCount; ++k) {
    auto& b = bins[static_cast<std::size_t>(k)];
    for (int r = 0; r < pk::CurveBin::kRoomCount; ++r) {
      b.roomLevel[static_cast<std::size_t>(r)] =
          static_cast<std::uint16_t>((k * 3 + r * 11) % 1021);
    }
    b.amplitude = static_cast<std::int8_t>(k % 241 - 120);
    b.phase = static_cast<std::int16_t>((k * 7) % 4001 - 2000);
  }
  return pk::SlopeFile::Write(bins);
}

TEST_F(MrxctlKlfTest, CurvePutThenGetGivesTheSameFile) {
  StartSim(1);
  std::string output, error;
  const std::string pattern = PatternFile();
  ASSERT_TRUE(platform::WriteFileAtomically(File("in.txt"), pattern, error));
  ASSERT_EQ(Mrxctl("klf curve put 3 " + File("in.txt"), output), 0) << output;
  ASSERT_EQ(Mrxctl("klf curve get 3 " + File("out.txt"), output), 0) << output;
  EXPECT_EQ(ReadAll(File("out.txt")), pattern);

  // Every channel in one go, named as the dialog proposes; channel 3 is the one written.
  ASSERT_EQ(Mrxctl("klf curve get --all " + File("all"), output), 0) << output;
  EXPECT_EQ(ReadAll(dir.path() / "all" / "0000-CH03-Rear Right.txt"), pattern);
  EXPECT_NE(ReadAll(dir.path() / "all" / "0000-CH02-Rear Left.txt"), pattern);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "all" / "0000-CH05-Subwoofer.txt"));

  // A channel name holding terminal codes gives a file name without them and
  // reaches the terminal escaped.
  ASSERT_EQ(Mrxctl("settings read 1 " + File("klf.bin"), output), 0) << output;
  std::string image = ReadAll(File("klf.bin"));
  const std::size_t name = protocol::unit::Klf310Image::ChannelNameOffset(0);
  ASSERT_GT(image.size(), name + 8);
  image.replace(name, 8, std::string("\x1b]0;\x7f\xc2\x9b\0", 8));
  ASSERT_TRUE(platform::WriteFileAtomically(File("klf.bin"), image, error));
  ASSERT_EQ(Mrxctl("settings write 1 " + File("klf.bin"), output), 0) << output;
  ASSERT_EQ(Mrxctl("klf curve get --all " + File("odd"), output), 0) << output;
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "odd" / "0000-CH00-_]0;_\xc2\x9b.txt"));
  EXPECT_EQ(output.find('\x1b'), std::string::npos) << output;
  EXPECT_NE(output.find("0000-CH00-_]0;_\\xC2\\x9B.txt"), std::string::npos) << output;

  // The card keeps it across a restart of the unit.
  sim->Stop();
  sim->Start({"--scenario", File("scenario"), "--state", File("state")});
  ASSERT_EQ(Mrxctl("klf curve get 3 " + File("again.txt"), output), 0) << output;
  EXPECT_EQ(ReadAll(File("again.txt")), pattern);
}

// A connection the card drops or a request it loses is asked again: a read
// message by message, a write as a whole transfer.
TEST_F(MrxctlKlfTest, CurvesRideOutDroppedConnectionsAndLostRequests) {
  struct Row {
    const char* name;
    std::vector<std::string> faults;
    const char* channel;  // one per row: the unit's state carries over
  } rows[] = {
      {"every 17th request ends the connection", {"--klf-fail-every", "17"}, "3"},
      {"every 19th request is lost", {"--klf-lost-every", "19"}, "4"},
  };
  const std::string pattern = PatternFile();
  std::string output, error;
  ASSERT_TRUE(platform::WriteFileAtomically(File("in.txt"), pattern, error));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    StartSim(1, true, row.faults);
    const std::string channel = row.channel;
    ASSERT_EQ(Mrxctl("klf curve put " + channel + " " + File("in.txt"), output), 0) << output;
    ASSERT_EQ(Mrxctl("klf curve get " + channel + " " + File("out.txt"), output), 0) << output;
    EXPECT_EQ(ReadAll(File("out.txt")), pattern);
    sim->Stop();
  }
}

TEST_F(MrxctlKlfTest, MalformedSlopeFileChangesNothing) {
  StartSim(2);
  std::string output, error;
  ASSERT_EQ(Mrxctl("klf curve get 0 " + File("before.txt"), output), 0) << output;
  // Row 3 of the file is cut short: the whole file is refused, naming the line.
  std::string text = PatternFile();
  const auto third = text.find('\n', text.find('\n', text.find('\n') + 1) + 1) + 1;
  text.insert(third, "  40  1.5\r\n");
  ASSERT_TRUE(platform::WriteFileAtomically(File("bad.txt"), text, error));
  EXPECT_EQ(Mrxctl("klf curve put 0 " + File("bad.txt"), output), 65);
  EXPECT_NE(output.find("line 4"), std::string::npos) << output;
  ASSERT_EQ(Mrxctl("klf curve get 0 " + File("after.txt"), output), 0) << output;
  EXPECT_EQ(ReadAll(File("after.txt")), ReadAll(File("before.txt")));
  // A file that is not there says so without touching the card; one too large
  // to be a slope file is bad data.
  EXPECT_EQ(Mrxctl("klf curve put 0 " + File("missing.txt"), output), 74);
  std::filesystem::resize_file(File("bad.txt"), std::uintmax_t{5} << 20);
  EXPECT_EQ(Mrxctl("klf curve put 0 " + File("bad.txt"), output), 65) << output;
}

TEST_F(MrxctlKlfTest, UpdateIsReadBackWithInfo) {
  StartSim(3);
  std::string output;
  const desktop::firmware::_DoloPacket* image =
      desktop::firmware::FindDoloPacket(GetDoloBase(), desktop::firmware::kDoloKlf310, 1, 39);
  ASSERT_NE(image, nullptr);
  char carried[40];
  std::snprintf(carried, sizeof carried, "%s, %02d.%02d.%04d",
                desktop::firmware::DoloVersionText(image->version).c_str(), image->day,
                image->month, image->year);

  ASSERT_EQ(Mrxctl("--json klf info", output), 0) << output;
  EXPECT_NE(nlohmann::json::parse(output)["application"], carried);
  ASSERT_EQ(Mrxctl("klf update", output), 0) << output;
  EXPECT_NE(output.find("Download finished"), std::string::npos) << output;
  ASSERT_EQ(Mrxctl("--json klf info", output), 0) << output;
  const auto info = nlohmann::json::parse(output);
  EXPECT_EQ(info["application"], carried);
  EXPECT_EQ(info["ip"], host);
  EXPECT_EQ(info["channels"], 6);
}

// A card that ends the connection now and then part way through the download
// is asked again on a new connection: the update takes, and is not reported as
// a silent card's.
TEST_F(MrxctlKlfTest, AnUpdateTheCardBreaksOffNowAndThenIsAskedAgainAndTakes) {
  StartSim(6, true, {"--klf-fail-every", "11"});
  std::string output;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Mrxctl("klf update --no-backup", output), 0) << output;
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_NE(output.find("The KLF310 reports V4.000"), std::string::npos) << output;
  EXPECT_EQ(output.find("did not answer"), std::string::npos) << output;
}

// The blocks of the carried KLF310 image, 1400 bytes each at most.
std::uint32_t CarriedBlocks() {
  namespace fw = desktop::firmware;
  const fw::_DoloPacket* image = fw::FindDoloPacket(GetDoloBase(), fw::kDoloKlf310, 1, 39);
  std::uint32_t blocks = 0;
  for (const fw::DoloSegment* s = image != nullptr ? image->segments : nullptr; s != nullptr;
       s = s->next) {
    blocks += (s->length + 1399) / 1400;
  }
  return blocks;
}

// A card that falls silent part way: the exit code is a failure's, the
// message says what went unanswered, the wait is shown while it lasts, and a
// lost answer to the closing commands is decided by the version the card
// reports afterwards. Requests on the update port: 1 the start of the boot
// software, 2 the erase, then the blocks, the end and the start.
struct SilentRow {
  const char* name;
  bool afterBlocks;  // counted on from the first block, not from the start
  std::uint32_t request;
  int exit;
  std::vector<std::string> said;
};

void PrintTo(const SilentRow& row, std::ostream* os) {
  *os << row.name;
}

class MrxctlKlfSilentTest : public MrxctlKlfTest,
                            public ::testing::WithParamInterface<SilentRow> {};

TEST_P(MrxctlKlfSilentTest, SaysWhatTheCardLeftUnanswered) {
  const SilentRow& row = GetParam();
  const std::uint32_t blocks = CarriedBlocks();
  ASSERT_GT(blocks, 1u);
  const std::uint32_t from = (row.afterBlocks ? blocks : 0) + row.request;
  StartSim(7, true, {"--klf-silent-from", std::to_string(from)});
  std::string output;
  EXPECT_EQ(Mrxctl("klf update --no-backup", output), row.exit) << output;
  for (const std::string& said : row.said) {
    EXPECT_NE(output.find(said), std::string::npos) << said << "\n" << output;
  }
  // Each unanswered attempt (its limit a few seconds) shows the wait so far.
  EXPECT_NE(output.find("Waiting for the unit to answer ... ("), std::string::npos) << output;
  if (row.exit != 0) {
    EXPECT_EQ(output.find("Download finished"), std::string::npos) << output;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MrxctlKlfSilentTest,
    ::testing::Values(
        SilentRow{"AtTheErase",
                  false,
                  2,
                  74,
                  {"ERROR: The card did not answer the erase!",
                   "mrxctl: the KLF310 update failed: the card at "}},
        SilentRow{"AtTheLastBlock",
                  true,
                  2,
                  74,
                  {"ERROR: Can't write to device", "did not take every block"}},
        SilentRow{"AtTheEndOfTheDownload",
                  true,
                  3,
                  74,
                  {"ERROR: The card did not confirm the end of the download",
                   "mrxctl: the KLF310 update failed: the card did not answer every closing "
                   "command, and the card now reports V"}},
        SilentRow{"AfterTakingTheStart",
                  true,
                  4,
                  0,
                  {"ERROR: The card did not confirm the start of its software",
                   "The card did not answer every closing command, but it now reports V4.000"}}),
    [](const ::testing::TestParamInfo<SilentRow>& row) { return std::string(row.param.name); });

// Ctrl-C sent as a real signal to the mrxctl process: during the flash the
// first asks and the second stops; while it only waits for the card, the
// first stops at once. A stop by Ctrl-C ends the process by the signal.
TEST_F(MrxctlKlfTest, CtrlCDuringTheFlashAsksAndASecondStops) {
  struct Row {
    const char* name;
    std::vector<std::string> faults;
    const char* waitFor;  // in the output: the phase to interrupt
    bool asks;
  } rows[] = {
      {"in the flash", {"--klf-delay-ms", "40"}, "Download of", true},
      {"waiting for the card", {"--klf-refuse-ms", "60000"}, "Waiting for the unit", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    StartSim(8, true, row.faults);
    const std::string out = File("ctrl-c.out"), err = File("ctrl-c.err");
    std::string shell = "/bin/sh", dashC = "-c",
                line = "exec env MRX_RUNTIME_DIR='" + (dir.path() / "run").string() + "' " +
                       MRX_BINARY_DIR "/tools/mrxctl/mrxctl klf update --no-backup >" + out +
                       " 2>" + err;
    char* argv[] = {shell.data(), dashC.data(), line.data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);
    int status = 0;
    const auto ended = [&](std::chrono::milliseconds limit) {
      return testing_support::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit);
    };
    const bool reached = testing_support::WaitFor(
        [&] { return ReadAll(out).find(row.waitFor) != std::string::npos; },
        std::chrono::seconds(60));
    kill(pid, SIGINT);
    if (row.asks) {
      EXPECT_TRUE(reached) << ReadAll(out);
      EXPECT_TRUE(testing_support::WaitFor(
          [&] { return ReadAll(err).find("Press Ctrl-C again") != std::string::npos; },
          std::chrono::seconds(10)));
      EXPECT_NE(ReadAll(err).find("stopping now leaves the KLF310 card without working software"),
                std::string::npos)
          << ReadAll(err);
      EXPECT_FALSE(ended(std::chrono::milliseconds(500))) << "the first Ctrl-C only asks";
      kill(pid, SIGINT);
    } else {
      EXPECT_TRUE(reached) << ReadAll(out);
    }
    const bool stopped = ended(std::chrono::seconds(10));
    if (!stopped) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_EQ(ReadAll(out).find("The KLF310 reports"), std::string::npos);
    if (!row.asks) {
      EXPECT_EQ(ReadAll(err).find("Press Ctrl-C again"), std::string::npos);
    }
    sim->Stop();
  }
}

TEST_F(MrxctlKlfTest, NothingListeningOrNoCardTellsAtOnce) {
  StartSim(4);
  std::string output;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Mrxctl("klf --ip " + OwnLoopback(5) + " curve get 1 " + File("x.txt"), output), 74);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_NE(output.find("Unable to connect to KLF310. Please check cable or IP settings!"),
            std::string::npos)
      << output;
  EXPECT_FALSE(std::filesystem::exists(File("x.txt")));
  EXPECT_EQ(Mrxctl("klf --module 2 info", output), 69) << output;
}

TEST_F(MrxctlKlfTest, UnitWithoutTheCard) {
  StartSim(6, false);
  std::string output;
  EXPECT_EQ(Mrxctl("klf info", output), 69) << output;
  EXPECT_NE(output.find("no KLF310"), std::string::npos) << output;
}

}  // namespace
