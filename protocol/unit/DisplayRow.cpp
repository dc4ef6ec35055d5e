#include "protocol/unit/DisplayRow.h"

#include "platform/Bytes.h"

namespace protocol::unit {

namespace {
constexpr std::size_t WordAt(std::size_t x) {
  return 2 * (DisplayRow::kFirstPixelWord + x / DisplayRow::kPixelsPerWord);
}
constexpr std::uint16_t BitOf(std::size_t x) {
  return static_cast<std::uint16_t>(0x8000u >> (x % DisplayRow::kPixelsPerWord));
}
}  // namespace

bool DisplayRow::Lit(std::span<const std::uint8_t> row, std::size_t x) {
  return (platform::GetU16(row, WordAt(x)) & BitOf(x)) != 0;
}

void DisplayRow::Light(std::span<std::uint8_t> row, std::size_t x) {
  const std::size_t at = WordAt(x);
  platform::PutU16(row, at, static_cast<std::uint16_t>(platform::GetU16(row, at) | BitOf(x)));
}

}  // namespace protocol::unit
