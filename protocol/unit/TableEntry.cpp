#include "protocol/unit/TableEntry.h"

#include <algorithm>

namespace protocol::unit {

std::array<std::uint8_t, TableEntry::kSize> TableEntry::Encode(
    std::uint16_t word, std::span<const std::uint8_t> entry) {
  std::array<std::uint8_t, kSize> out{};
  out[kWord] = static_cast<std::uint8_t>(word);  // the high byte travels as 0
  std::copy_n(entry.begin(), kCarried, out.begin() + kEntry);
  return out;
}

std::span<const std::uint8_t> TableEntry::CarriedEntry(std::span<const std::uint8_t> data) {
  if (data.size() < kSize) return {};
  return data.subspan(kEntry, kCarried);
}

}  // namespace protocol::unit
