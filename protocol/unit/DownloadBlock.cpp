#include "protocol/unit/DownloadBlock.h"

#include <algorithm>

#include "platform/Bytes.h"

namespace protocol::unit {

std::size_t DownloadBlock::EncodeInto(std::span<std::uint8_t> out) const {
  platform::PutU32(out, kAddress, address);
  platform::PutU16(out, kCount, static_cast<std::uint16_t>(data.size()));
  std::copy(data.begin(), data.end(), out.begin() + kData);
  return kHeaderSize + data.size();
}

ParseResult DownloadBlock::Decode(std::span<const std::uint8_t> in, DownloadBlock& out) {
  if (in.size() < kHeaderSize) return ParseResult::kIncomplete;
  const std::uint16_t count = platform::GetU16(in, kCount);
  if (in.size() != kHeaderSize + count) return ParseResult::kInvalid;
  out.address = platform::GetU32(in, kAddress);
  out.data = in.subspan(kData, count);
  return ParseResult::kComplete;
}

}  // namespace protocol::unit
