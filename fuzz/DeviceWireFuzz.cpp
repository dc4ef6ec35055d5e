// Both directions of the device wire, as a server and a client read them.
#include <cstddef>
#include <cstdint>

#include "platform/DeviceWire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> bytes(data, size);
  platform::wire::Request request;
  platform::wire::Reply reply;
  std::size_t consumed = 0;
  while (platform::wire::DecodeRequest(bytes, request, consumed) ==
         platform::wire::ParseResult::kComplete) {
    bytes = bytes.subspan(consumed);
  }
  const std::size_t capacity = size > 0 ? data[0] : 64;
  platform::wire::DecodeReply(std::span(data, size), capacity, reply, consumed);
  return 0;
}
