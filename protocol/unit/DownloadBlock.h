#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/unit/Frame.h"

namespace protocol::unit {

// Data of commands 134 (main unit) and 166 (card): target address, byte
// count, then the bytes. The frame's length is the count + 6.
struct DownloadBlock {
  static constexpr std::size_t kAddress = 0;  // u32
  static constexpr std::size_t kCount = 4;    // u16
  static constexpr std::size_t kData = 6;
  static constexpr std::size_t kHeaderSize = kData;
  static constexpr std::size_t kMaxMainData = 52;  // and always an even count
  static constexpr std::size_t kMaxCardData = 22;

  std::uint32_t address = 0;
  std::span<const std::uint8_t> data;

  // Writes the block into `out` (at least 6 + data bytes); returns its size.
  std::size_t EncodeInto(std::span<std::uint8_t> out) const;
  // The block must say its own length truly: count + 6 = the data size.
  static ParseResult Decode(std::span<const std::uint8_t> in, DownloadBlock& out);
};

}  // namespace protocol::unit
