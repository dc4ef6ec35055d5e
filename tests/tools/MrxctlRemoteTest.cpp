// "mrxctl remote" as a script runs it: the real program against the real simulator.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>

#include "../support/FakeDeviceIo.h"
#include "../support/RunProgram.h"
#include "../support/SimProcess.h"
#include "platform/Bytes.h"
#include "platform/HandheldEnv.h"
#include "platform/Registry.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/DeviceStore.h"
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
    return testing_support::RunProgram(MRX_BINARY_DIR "/tools/mrxctl/mrxctl " + args + " 2>&1",
                                       out);
  }
  // Records `address` as the handheld's default unit, as choosing it in the remote does.
  void ChooseDefault(const std::string& address, const std::string& name) {
    platform::HandheldEnv env(dir.path() / "handheld");
    platform::FileRegistry registry(env.RegistryDir());
    remote::link::DeviceStore store(registry, env);
    ASSERT_TRUE(store.Load()) << store.LastError();
    store.Merge({*platform::BtAddress::Parse(address), name,
                 std::string(protocol::remote::kServiceHardware)},
                true);
    ASSERT_TRUE(store.Save()) << store.LastError();
  }
  TempDir dir;
};

TEST_F(MrxctlRemoteTest, StatusAndChangesThroughTheSimulatedStack) {
  std::string out;
  EXPECT_EQ(Mrxctl("remote list", out), kExitUnavailable) << out;
  EXPECT_EQ(out, "mrxctl: the inquiry (sim stack) found no unit in reach\n");

  SimProcess sim(dir.path(), {"--no-state"});
  ASSERT_TRUE(testing_support::WaitFor([&] {
    return Mrxctl("remote list", out) == 0 && !out.empty();
  })) << out;
  EXPECT_EQ(out, "00:50:C2:00:04:D2  Valdur MRX520-1234\n");
  // A unit in reach is not a unit chosen: without a default the command is refused.
  EXPECT_EQ(Mrxctl("remote status", out), kExitUnavailable) << out;
  EXPECT_TRUE(
      out.starts_with("mrxctl: no MRX520 unit chosen: the handheld records no default "
                      "unit in " +
                      (dir.path() / "handheld/Windows/Registry/HKLM.reg").string()))
      << out;
  ChooseDefault("00:50:C2:00:04:D2", "Valdur MRX520-1234");
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
      {"Volume", "--json remote volume -42.3", kExitOk,
       "mrxctl: -42.3 dB is set as -42.0 dB, the unit's step being 0.5 dB\n"},
      {"VolumeTruncatedAtTenths", "--json remote volume -42.39", kExitOk, "\"volume\": -42.0"},
      {"VolumeBelowRange", "remote volume -80.1", kExitDataError,
       "mrxctl: -80.1 dB is outside the unit's range (-80.0 to 10.0 dB); nothing was sent\n"},
      {"VolumeAboveRange", "remote volume 10.5", kExitDataError, "outside the unit's range"},
      {"Source", "--json remote source 'digital 3'", kExitOk, "\"source\": \"Digital 3\""},
      {"Mute", "--json remote mute on", kExitOk, "\"mute\": true"},
      {"Standby", "--json remote power off", kExitOk, "\"power\": false"},
      {"UnknownSource", "remote source Radio", kExitDataError, "has no source 'Radio'"},
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
  const auto status = nlohmann::json::parse(out);
  EXPECT_EQ(status["power"], false);
  EXPECT_EQ(status["volume"], -42.0);
  EXPECT_EQ(status["source"], "Digital 3");
  EXPECT_EQ(status["group"], "A");
  EXPECT_EQ(status["mute"], true);
  EXPECT_EQ(status["serial"], 1234);
}

// What is not a value is refused before any unit is looked for, so these
// run here, without the simulator and a program start each.
TEST_F(MrxctlRemoteTest, RefusesWhatIsNotAValueBeforeLookingForAUnit) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    const char* expected;
  } rows[] = {
      {"VolumeHex", {"remote", "volume", "0x10"}, "'0x10' is not a volume in dB (decimal"},
      {"VolumeExponent", {"remote", "volume", "1e1"}, "'1e1' is not a volume in dB"},
      {"VolumeInfinite", {"remote", "volume", "inf"}, "'inf' is not a volume in dB"},
      {"VolumeNan", {"remote", "volume", "nan"}, "'nan' is not a volume in dB"},
      {"VolumeSignOnly", {"remote", "volume", "--", "-"}, "'-' is not a volume in dB"},
      {"VolumeHuge", {"remote", "volume", "99999999999"}, "is not a volume in dB"},
      {"BadVolume",
       {"remote", "volume", "loud"},
       "mrxctl remote volume: DB: 'loud' is not a volume in dB"},
      {"BadState", {"remote", "power", "maybe"}, "mrxctl remote power: STATE: maybe"},
      {"NoAction", {"remote", "--timeout", "500"}, "mrxctl remote: give one of list, status"},
      {"BadAddress",
       {"remote", "status", "--address", "00:11"},
       "'00:11' is not a Bluetooth address"},
  };
  testing_support::FakeDeviceIo io;
  desktop::unitlink::CTiroUSB usb(&io);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::ostringstream out, err;
    EXPECT_EQ(tools::mrxctl::Run(r.args, usb, out, err), kExitUsage) << err.str();
    EXPECT_NE(err.str().find(r.expected), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
  }
  EXPECT_TRUE(io.openedPaths.empty());
}

// The handheld keeps unit names as 8-bit Windows-1252 text; JSON carries them as UTF-8.
TEST_F(MrxctlRemoteTest, EightBitUnitNamesComeOutAsUtf8Json) {
  const std::string name8 = "Salon \xE9t\xE9 \xC6\xFF \x80\x99\x9F";
  const auto address = platform::BtAddress::Parse("00:50:C2:00:04:D2");
  ASSERT_TRUE(address);
  platform::HandheldEnv env(dir.path() / "handheld");
  platform::FileRegistry registry(env.RegistryDir());
  std::string error;
  ASSERT_TRUE(registry.Modify(
      platform::Hive::kLocalMachine,
      [&](platform::RegistryHive& hive) {
        const std::string key(remote::link::DeviceStore::kKey);
        platform::RegistryValue bdAddr{platform::kRegBinary, std::vector<std::uint8_t>(8)};
        platform::PutU32(bdAddr.data, 0, address->low);
        platform::PutU32(bdAddr.data, 4, address->high);
        hive.Set(key, "DefaultBDAddr", bdAddr);
        platform::RegistryValue name{platform::kRegSz, {name8.begin(), name8.end()}};
        name.data.push_back(0);
        hive.Set(key, "DefaultName", name);
      },
      error))
      << error;

  SimProcess sim(dir.path(), {"--no-state"});
  std::string out;
  ASSERT_EQ(Mrxctl("--json remote status", out), kExitOk) << out;
  nlohmann::json status;
  ASSERT_NO_THROW(status = nlohmann::json::parse(out)) << "valid UTF-8 JSON:\n" << out;
  const std::string shown = status["name"];
  EXPECT_EQ(shown.substr(0, 17), "Salon \u00e9t\u00e9 \u00c6\u00ff ") << "0xA0-0xFF";
  EXPECT_EQ(shown.substr(17), "\u20ac\u2122\u0178") << "0x80-0x9F as Windows-1252 has them";
}

}  // namespace
}  // namespace tools::mrxctl
