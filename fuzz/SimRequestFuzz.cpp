// The simulator's request parser: wire messages, then the unit's frames, all
// against one unit whose state carries from input to input.
#include <cstddef>
#include <cstdint>

#include "platform/Clock.h"
#include "platform/DeviceWire.h"
#include "sim/SimUnit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::VirtualClock clock;
  static sim::SimUnit unit(sim::DefaultScenario(), clock);
  std::span<const std::uint8_t> bytes(data, size);
  platform::wire::Request request;
  std::size_t consumed = 0;
  while (platform::wire::DecodeRequest(bytes, request, consumed) ==
         platform::wire::ParseResult::kComplete) {
    std::vector<std::uint8_t> out(request.outCapacity);
    unit.HandleControl(request.code, request.input, out);
    bytes = bytes.subspan(consumed);
  }
  // The same bytes as one bare frame of the unit's control code.
  std::uint8_t reply[64];
  unit.HandleControl(0x226000, std::span(data, size), reply);
  clock.Advance(1000);  // let an erased unit come back
  return 0;
}
