#include "protocol/remote/ModuleBlock.h"

#include "protocol/remote/RecordBytes.h"

namespace protocol::remote {

std::vector<std::uint8_t> ModuleBlock::Encode() const {
  const std::size_t n = std::min(settings.size(), kMaxSettings);
  std::vector<std::uint8_t> b(kHeaderSize + n);
  platform::PutU32(b, kOffHeader, header);
  std::copy_n(settings.begin(), n, b.begin() + kOffSettings);
  return b;
}

ModuleBlock ModuleBlock::Decode(std::span<const std::uint8_t> payload) {
  const auto head = detail::Padded<kHeaderSize>(payload);
  ModuleBlock block;
  block.header = platform::GetU32(head, kOffHeader);
  if (payload.size() > kOffSettings) {
    const auto rest = payload.subspan(kOffSettings);
    block.settings.assign(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(
                                                           std::min(rest.size(), kMaxSettings)));
  }
  return block;
}

}  // namespace protocol::remote
