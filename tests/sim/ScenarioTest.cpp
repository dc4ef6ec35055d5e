#include <gtest/gtest.h>

#include "sim/Scenario.h"

namespace sim {
namespace {

TEST(ScenarioTest, ParsesUnitModulesAndFaults) {
  std::string error;
  const auto s = ParseScenario(
      "# two cards\n"
      "unit slots=3 serial=77 version=2.105 date=2024-03-05 boot=1.012 bootdate=2023-11-20\n"
      "module address=1 type=7 serial=9 settings=300 sub=2\n"
      "module address=3 type=16 running=0\n"
      "module address=2 type=11 ip=127.0.3.254\n"
      "faults fail-every=50 delay-ms=2 eeprom-error=1 display-rows=64\n"
      "faults stream-lost-every=7 stream-crc-every=9 stream-refuse-every=2 stream-refuse-ms=1500\n"
      "faults stream-drop-every=3 stream-delay-ms=40 drop-every=11\n"
      "faults klf-fail-every=4 klf-lost-every=6 klf-refuse-ms=900 klf-delay-ms=8\n",
      error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(s->slotCount, 3);
  ASSERT_EQ(s->modules.size(), 4u);
  EXPECT_EQ(s->modules[0].serial, 77);
  EXPECT_EQ(s->modules[0].version.minor, 105);
  EXPECT_EQ(s->modules[0].version.year, 24);
  EXPECT_EQ(s->bootVersion.minor, 12);
  EXPECT_EQ(*s->Find(1)->settingsLength, 300);
  EXPECT_EQ(s->Find(1)->subAddress, 2);
  EXPECT_FALSE(s->Find(3)->running);
  EXPECT_FALSE(s->Find(3)->ip);
  EXPECT_EQ(s->Find(2)->ip, (std::array<std::uint8_t, 4>{127, 0, 3, 254}));
  EXPECT_EQ(s->faults.failEvery, 50u);
  EXPECT_TRUE(s->faults.eepromError);
  EXPECT_EQ(s->faults.displayRows, 64u);
  EXPECT_EQ(s->streamFaults.lostEvery, 7u);
  EXPECT_EQ(s->streamFaults.crcEvery, 9u);
  EXPECT_EQ(s->streamFaults.refuseEvery, 2u);
  EXPECT_EQ(s->streamFaults.refuseMs, 1500u);
  EXPECT_EQ(s->streamFaults.dropEvery, 3u);
  EXPECT_EQ(s->streamFaults.delayMs, 40u);
  EXPECT_EQ(s->faults.dropEvery, 11u);
  EXPECT_EQ(s->klfFaults.failEvery, 4u);
  EXPECT_EQ(s->klfFaults.lostEvery, 6u);
  EXPECT_EQ(s->klfFaults.refuseMs, 900u);
  EXPECT_EQ(s->klfFaults.delayMs, 8u);
}

TEST(ScenarioTest, RefusesBadTextWithTheLine) {
  const std::pair<const char*, const char*> rows[] = {
      {"module address=1 type=2\n", "line 0: no unit record"},
      {"unit\nunit\n", "line 2: a second unit record"},
      {"unit\nmodule type=2\n", "line 2: a module needs address= and type="},
      {"unit\nmodule address=16 type=2\n", "line 2: bad value '16' for 'address'"},
      {"unit serial=10000\n", "line 1: bad value '10000' for 'serial'"},
      {"unit date=2024-13-01\n", "line 1: bad value '2024-13-01' for 'date'"},
      {"unit date=2023-02-29\n", "line 1: bad value '2023-02-29' for 'date'"},
      {"unit\nmodule address=1 type=2 delivery=2024-04-31\n",
       "line 2: bad value '2024-04-31' for 'delivery'"},
      {"unit\nmodule address=1 type=2 settings=2049\n", "line 2: bad value '2049' for 'settings'"},
      {"unit version=2.65536\n", "line 1: bad value '2.65536' for 'version'"},
      {"unit boot=-1.0\n", "line 1: bad value '-1.0' for 'boot'"},
      {"unit\nfaults fail-every=1000001\n", "line 2: bad value '1000001' for 'fail-every'"},
      {"unit\nfaults delay-ms=1e3\n", "line 2: bad value '1e3' for 'delay-ms'"},
      {"unit\nfaults restart-ms=600001\n", "line 2: bad value '600001' for 'restart-ms'"},
      {"unit\nfaults refuse-opens-ms=3600001\n",
       "line 2: bad value '3600001' for 'refuse-opens-ms'"},
      {"unit serial=\x01\x7f\n", "line 1: bad value '\\x01\\x7F' for 'serial'"},
      {"unit\nmodule address=1 type=2\nmodule address=1 type=3\n", "line 3: address 1 given twice"},
      {"card address=1\n", "line 1: unknown record 'card'"},
      {"unit colour=red\n", "line 1: unknown key 'colour'"},
      {"unit slots\n", "line 1: expected key=value, got 'slots'"},
      {"unit\nfaults stream-delay-ms=60001\n", "line 2: bad value '60001' for 'stream-delay-ms'"},
      {"unit\nfaults display-rows=129\n", "line 2: bad value '129' for 'display-rows'"},
      {"unit\nfaults drop-every=1000001\n", "line 2: bad value '1000001' for 'drop-every'"},
      {"unit\nfaults klf-fail-every=-1\n", "line 2: bad value '-1' for 'klf-fail-every'"},
      {"unit\nfaults klf-lost-every=x\n", "line 2: bad value 'x' for 'klf-lost-every'"},
      {"unit\nfaults klf-refuse-ms=3600001\n", "line 2: bad value '3600001' for 'klf-refuse-ms'"},
      {"unit\nfaults klf-delay-ms=60001\n", "line 2: bad value '60001' for 'klf-delay-ms'"},
      {"unit\nmodule address=1 type=11 ip=127.0.0\n", "line 2: bad value '127.0.0' for 'ip'"},
      {"unit\nmodule address=1 type=11 ip=127.0.0.256\n",
       "line 2: bad value '127.0.0.256' for 'ip'"},
      {"unit\nmodule address=1 type=11 ip=127.0..1\n", "line 2: bad value '127.0..1' for 'ip'"},
      {"unit\nmodule address=1 type=11 ip=1.2.3.4.5\n", "line 2: bad value '1.2.3.4.5' for 'ip'"},
      {"unit ip=127.0.0.1\n", "line 1: unknown key 'ip'"},
      {"unit\nmodule address=1 type=11 ip=192.168.1.5\n",
       "line 2: bad value '192.168.1.5' for 'ip'"},
      {"unit\nfaults power-cut-at=1\n", "line 2: unknown key 'power-cut-at'"},
  };
  for (const auto& [text, message] : rows) {
    SCOPED_TRACE(text);
    std::string error;
    EXPECT_FALSE(ParseScenario(text, error));
    EXPECT_EQ(error, message);
  }
}

TEST(ScenarioTest, TakesTheEdgesOfEveryRange) {
  std::string error;
  const auto s = ParseScenario(
      "unit date=2024-02-29 version=65535.65535\n"
      "module address=15 type=255 settings=2048 delivery=2255-12-31 serial=9999\n"
      "faults fail-every=1000000 delay-ms=60000 restart-ms=600000 refuse-opens-ms=3600000\n",
      error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(*s->Find(15)->settingsLength, 2048);
  EXPECT_EQ(s->Find(15)->deliveryYear, 255);
  EXPECT_EQ(s->modules[0].version.major, 65535);
  EXPECT_EQ(s->faults.delayMs, 60000u);
}

TEST(ScenarioTest, DefaultUnitHasEveryCardKind) {
  const Scenario s = DefaultScenario();
  EXPECT_EQ(s.slotCount, 14);
  const std::uint8_t types[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 2, 16};
  ASSERT_EQ(s.modules.size(), std::size(types));
  for (std::size_t i = 0; i < s.modules.size(); ++i) {
    EXPECT_EQ(s.modules[i].address, i);
    EXPECT_EQ(s.modules[i].type, types[i]);
  }
}

}  // namespace
}  // namespace sim
