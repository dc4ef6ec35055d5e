#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/Scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  sim::ParseScenario(std::string_view(reinterpret_cast<const char*>(data), size), error);
  return 0;
}
