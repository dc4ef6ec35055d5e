#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "../support/TempDir.h"
#include "platform/Registry.h"

namespace platform {
namespace {

// Two programs (here: two registries on the same files, each on its own
// thread) changing the hive at once never lose each other's values.
TEST(FileRegistryConcurrencyTest, ConcurrentWritersLoseNothing) {
  testing_support::TempDir dir;
  constexpr int kWrites = 40;
  auto writer = [&](char who) {
    FileRegistry registry(dir.path());
    for (int i = 0; i < kWrites; ++i) {
      std::string error;
      ASSERT_TRUE(registry.Modify(
          Hive::kLocalMachine,
          [&](RegistryHive& h) {
            h.Set("SOFTWARE\\Valdur\\Wavrix", std::string(1, who) + std::to_string(i),
                  {kRegBinary, {static_cast<std::uint8_t>(i)}});
          },
          error))
          << error;
    }
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  RegistryHive hive;
  std::string error;
  ASSERT_TRUE(FileRegistry(dir.path()).Read(Hive::kLocalMachine, hive, error));
  for (char who : {'a', 'b'}) {
    for (int i = 0; i < kWrites; ++i) {
      EXPECT_NE(hive.Query("SOFTWARE\\Valdur\\Wavrix", std::string(1, who) + std::to_string(i)),
                nullptr)
          << who << i;
    }
  }
}

}  // namespace
}  // namespace platform
