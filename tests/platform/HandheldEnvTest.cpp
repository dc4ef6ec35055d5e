#include <gtest/gtest.h>

#include <fstream>

#include "../support/TempDir.h"
#include "platform/Bluetooth.h"
#include "platform/HandheldEnv.h"

namespace platform {
namespace {

TEST(HandheldEnvTest, ListsCardsAndMapsPathsInsideTheTreeOnly) {
  testing_support::TempDir dir;
  std::filesystem::create_directories(dir.path() / "Storage Card" / "2577");
  std::filesystem::create_directories(dir.path() / "Windows");
  std::ofstream(dir.path() / "Readme.txt") << "x";
  std::ofstream(dir.path() / "handheld.conf")
      << "# the test handheld\nos_major = 4\nprocessor_architecture=5\nstorage_card=Storage Card\n";
  HandheldEnv env(dir.path());
  std::string error;
  ASSERT_TRUE(env.LoadConfig(error)) << error;
  EXPECT_EQ(env.OsMajor(), 4);

  std::vector<std::pair<std::string, std::uint32_t>> listed;
  for (const auto& e : env.ListRoot()) listed.emplace_back(e.name, e.attributes);
  EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::uint32_t>>{
                        {"Readme.txt", kAttrNormal},
                        {"Storage Card", kAttrDirectory | kAttrTemporary},
                        {"Windows", kAttrDirectory}}));

  EXPECT_EQ(env.MapPath("\\storage card\\2577\\Devices.txt"),
            dir.path() / "Storage Card" / "2577" / "Devices.txt")
      << "names ignore case";
  for (const char* bad : {"\\..\\etc\\passwd", "\\Windows\\..\\..", "\\a/b"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(env.MapPath(bad));
  }

  std::ofstream(dir.path() / "handheld.conf") << "colour=blue\n";
  EXPECT_FALSE(env.LoadConfig(error));
  EXPECT_EQ(error, "line 1: unknown key 'colour'");
  std::ofstream(dir.path() / "handheld.conf") << std::string("os\0\x1B=4\n", 7);
  EXPECT_FALSE(env.LoadConfig(error));
  EXPECT_EQ(error, "line 1: unknown key 'os\\x00\\x1B'") << "raw bytes escaped";
}

// A configuration that is there but cannot be taken is an error, never the defaults.
TEST(HandheldEnvTest, AConfigurationThatCannotBeReadIsNotTheDefaults) {
  testing_support::TempDir dir;
  HandheldEnv env(dir.path());
  std::string error;
  std::filesystem::create_directory(dir.path() / "handheld.conf");
  EXPECT_FALSE(env.LoadConfig(error));
  EXPECT_EQ(error, "is a directory");
  std::filesystem::remove(dir.path() / "handheld.conf");
  std::ofstream(dir.path() / "handheld.conf") << "";
  std::filesystem::resize_file(dir.path() / "handheld.conf", std::uintmax_t{4} << 30);
  EXPECT_FALSE(env.LoadConfig(error));
  EXPECT_EQ(error, "too large (4294967296 bytes; at most 65536)");
}

TEST(HandheldEnvTest, LocalTimeIsTheHandheldsOwnAndRefusesImpossibleDates) {
  testing_support::TempDir dir;
  HandheldEnv env(dir.path());
  VirtualClock clock(FromLocalTime({2020, 1, 1, 12, 0, 0, 0}));
  int error = 0;
  ASSERT_TRUE(env.SetLocalTime({2024, 3, 5, 13, 7, 9, 0}, clock, error));
  clock.Advance(61000);
  const LocalTime now = HandheldEnv(dir.path()).Now(clock);
  EXPECT_EQ(std::tie(now.year, now.month, now.day, now.hour, now.minute, now.second),
            std::make_tuple(2024, 3, 5, 13, 8, 10));
  EXPECT_FALSE(env.SetLocalTime({2024, 13, 1, 0, 0, 0, 0}, clock, error));
  EXPECT_NE(error, 0);
}

TEST(BtAddressTest, ParsesAndFormatsEveryForm) {
  const BtAddress a{0xC20004D2, 0x0050};
  EXPECT_EQ(a.Bracketed(), "[0050C20004D2]");
  EXPECT_EQ(a.Colon(), "00:50:C2:00:04:D2");
  for (const char* text : {"00:50:C2:00:04:D2", "0050c20004d2", "[0050C20004D2]"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(BtAddress::Parse(text), a);
  }
  for (const char* bad :
       {"", "00:50:C2:00:04", "00-50-C2-00-04-D2", "0050C20004DZ", "[0050C20004D2"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(BtAddress::Parse(bad));
  }
}

}  // namespace
}  // namespace platform
