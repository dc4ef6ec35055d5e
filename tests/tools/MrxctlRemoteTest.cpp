// "mrxctl remote" as a script runs it: the real program against the real simulator.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "../support/SimProcess.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {
namespace {

using testing_support::SimProcess;
using testing_support::TempDir;

class MrxctlRemoteTest : public ::testing::Test {
 protected:
  MrxctlRemoteTest() {
    setenv("MRX_RUNTIME_DIR", dir.path().c_str(), 1);
    setenv("WAVRIX_BLUETOOTH", "sim", 1);
    setenv("WAVRIX_HANDHELD", (dir.path() / "handheld").c_str(), 1);
  }
  // Runs mrxctl with `args`; returns its exit code, its standard output in `out`.
  int Mrxctl(const std::string& args, std::string& out) {
    const std::string command = MRX_BINARY_DIR "/tools/mrxctl/mrxctl " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    out.clear();
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr) out += buf;
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  TempDir dir;
};

TEST_F(MrxctlRemoteTest, StatusAndChangesThroughTheSimulatedStack) {
  std::string out;
  EXPECT_EQ(Mrxctl("remote status --timeout 1000", out), kExitUnavailable) << out;
  EXPECT_NE(out.find("no MRX520 unit"), std::string::npos) << out;

  SimProcess sim(dir.path(), {"--no-state"});
  ASSERT_TRUE(testing_support::WaitFor([&] { return Mrxctl("remote list", out) == 0 && !out.empty(); }))
      << out;
  EXPECT_EQ(out, "00:50:C2:00:04:D2  Valdur MRX520-1234\n");
  ASSERT_EQ(Mrxctl("remote status", out), kExitOk) << out;
  EXPECT_EQ(out,
            "unit    Valdur MRX520-1234 00:50:C2:00:04:D2\n"
            "power   on\n"
            "volume  -30.0 dB\n"
            "source  CD\n"
            "group   A\n"
            "mute    off\n");

  struct Row {
    const char* name;
    const char* args;
    int code;
    const char* expected;
  } rows[] = {
      {"Volume", "--json remote volume -42.3", kExitOk, "\"volume\": -42.0"},
      {"Source", "--json remote source 'digital 3'", kExitOk, "\"source\": \"Digital 3\""},
      {"Mute", "--json remote mute on", kExitOk, "\"mute\": true"},
      {"Standby", "--json remote power off", kExitOk, "\"power\": false"},
      {"UnknownSource", "remote source Radio", kExitDataError, "has no source 'Radio'"},
      {"BadVolume", "remote volume loud", kExitUsage, "usage: remote volume DB"},
      {"OtherAddress", "remote status --timeout 500 --address 00:11:22:33:44:55", kExitUnavailable,
       "did not answer"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(Mrxctl(r.args, out), r.code) << out;
    EXPECT_NE(out.find(r.expected), std::string::npos) << out;
  }
  // Every change stuck: a new status shows them all.
  ASSERT_EQ(Mrxctl("--json remote status", out), kExitOk) << out;
  EXPECT_NE(out.find("\"power\": false, \"volume\": -42.0, \"source\": \"Digital 3\", \"group\": \"A\", "
                     "\"mute\": true"),
            std::string::npos)
      << out;
}

}  // namespace
}  // namespace tools::mrxctl
