// A registry hive file as another program (or a broken card) left it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  platform::RegistryHive hive;
  std::string error;
  if (platform::RegistryHive::Parse(text, hive, error)) {
    // What was read is written back and reads the same.
    platform::RegistryHive again;
    const std::string written = hive.Serialize(platform::Hive::kLocalMachine);
    if (!platform::RegistryHive::Parse(written, again, error) || !(again == hive)) __builtin_trap();
  }
  return 0;
}
