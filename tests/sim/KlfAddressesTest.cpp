// Where a simulated KLF310 card serves its ports: a free loopback address of
// the simulator's own, never one another simulator serves, never off loopback.
#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "protocol/klf/KlfMessage.h"
#include "protocol/unit/Klf310Image.h"
#include "sim/KlfAddresses.h"
#include "sim/Scenario.h"
#include "sim/SimUnit.h"
#include "tests/support/TempDir.h"

namespace sim {
namespace {

namespace pk = protocol::klf;
namespace pu = protocol::unit;

constexpr std::uint8_t kCard = 11;  // the demo unit's KLF310

Ipv4 FreeAddress() {
  const auto ip = PickFreeLoopback();
  EXPECT_TRUE(ip);
  return ip.value_or(Ipv4{127, 0, 0, 1});
}

TEST(KlfAddressesTest, PicksPastAnAddressWhereSomethingListens) {
  const Ipv4 taken = FreeAddress();
  const Ipv4 free = FreeAddress();
  // Either port taken is enough: the card needs both.
  for (const std::uint16_t port : {pk::kUpdatePort, pk::kCurvePort}) {
    SCOPED_TRACE(port);
    const platform::UniqueFd other = ListenOn(taken, port);
    ASSERT_TRUE(other);
    EXPECT_FALSE(CardPortsFree(taken));
    const Ipv4 candidates[] = {taken, free};
    int next = 0;
    EXPECT_EQ(PickFreeLoopback([&] { return candidates[next++]; }), free);
    EXPECT_EQ(PickFreeLoopback([&] { return taken; }, 3), std::nullopt);
  }
  EXPECT_TRUE(CardPortsFree(taken)) << "the test's own sockets were not kept";
}

TEST(KlfAddressesTest, ListensOnLoopbackAddressesOnly) {
  for (const Ipv4 ip : {Ipv4{0, 0, 0, 0}, Ipv4{10, 0, 0, 1}, Ipv4{192, 168, 1, 5},
                        Ipv4{128, 0, 0, 1}, Ipv4{255, 255, 255, 255}}) {
    SCOPED_TRACE(Dotted(ip));
    EXPECT_FALSE(IsLoopback(ip));
    EXPECT_FALSE(ListenOn(ip, pk::kCurvePort));
    EXPECT_FALSE(CardPortsFree(ip));
  }
  for (int i = 0; i < 100; ++i) {
    const Ipv4 ip = RandomLoopback();
    ASSERT_EQ(ip[0], 127);
    ASSERT_NE(ip[1], 0) << "127.0.0.x is the host's own";
    ASSERT_TRUE(ip[3] != 0 && ip[3] != 255);
  }
}

TEST(KlfAddressesTest, EveryCardWithoutAnAddressGetsAFreeOneOfItsOwn) {
  std::string error;
  auto s = ParseScenario(
      "unit\nmodule address=1 type=11\nmodule address=2 type=11 ip=127.0.0.9\n"
      "module address=3 type=11\nmodule address=4 type=2\n",
      error);
  ASSERT_TRUE(s) << error;
  ASSERT_TRUE(PickKlfAddresses(*s, error)) << error;
  ASSERT_TRUE(s->Find(1)->ip && s->Find(3)->ip);
  EXPECT_TRUE(CardPortsFree(*s->Find(1)->ip));
  EXPECT_NE(s->Find(1)->ip, s->Find(3)->ip);
  EXPECT_EQ(s->Find(2)->ip, (Ipv4{127, 0, 0, 9})) << "the scenario's own is kept";
  EXPECT_FALSE(s->Find(4)->ip) << "not a KLF310";
  // The picked address is the card's factory setting and where it serves.
  SimUnit unit(*s, platform::DefaultClock());
  const auto stored = unit.StoredSettings(1);
  EXPECT_TRUE(std::equal(s->Find(1)->ip->begin(), s->Find(1)->ip->end(),
                         stored.begin() + pu::Klf310Image::kIp));
}

// A state file kept from an earlier run holds the card's address then.
TEST(KlfAddressesTest, AStoredAddressIsKeptWhileItsPortsAreFree) {
  struct Row {
    const char* name;
    bool storedIsFactory;  // the scenario's own address was stored
    bool storedElsewhere;  // outside 127.0.0.0/8
    bool storedTaken;      // another simulator serves it
    bool moves;
  };
  const Row rows[] = {
      {"stored and free: kept", false, false, false, false},
      {"stored and served by another: back to the factory address", false, false, true, true},
      {"stored outside loopback: back to the factory address", false, true, false, true},
      {"the scenario's own, taken: kept, the card waits for it", true, false, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing_support::TempDir dir;
    const Ipv4 factory = FreeAddress();
    const Ipv4 earlier = row.storedIsFactory   ? factory
                         : row.storedElsewhere ? Ipv4{192, 168, 7, 9}
                                               : FreeAddress();
    Scenario scenario = DefaultScenario();
    for (ModuleRecord& m : scenario.modules) {
      if (m.address == kCard) m.ip = factory;
    }
    {
      SimUnit before(scenario, platform::DefaultClock(), dir.path() / "state");
      ASSERT_TRUE(before.KlfMoveCard(kCard, earlier));
    }
    const platform::UniqueFd other =
        row.storedTaken ? ListenOn(earlier, pk::kCurvePort) : platform::UniqueFd();
    SimUnit unit(scenario, platform::DefaultClock(), dir.path() / "state");
    std::vector<std::string> notes;
    SettleKlfAddresses(unit, scenario, notes);

    const Ipv4 expected = row.moves ? factory : earlier;
    ASSERT_EQ(unit.KlfCards().size(), 1u);
    EXPECT_EQ(unit.KlfCards()[0].ip, expected);
    for (const auto& image : {unit.StoredSettings(kCard), unit.WorkingSettings(kCard)}) {
      EXPECT_TRUE(
          std::equal(expected.begin(), expected.end(), image.begin() + pu::Klf310Image::kIp));
    }
    EXPECT_EQ(notes.size(), row.moves ? 1u : 0u);
    // What moved was saved: the next start finds it stored.
    SimUnit again(scenario, platform::DefaultClock(), dir.path() / "state");
    EXPECT_EQ(again.KlfCards()[0].ip, expected);
  }
}

}  // namespace
}  // namespace sim
