#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/Bytes.h"

// Field helpers shared by the record codecs of this folder.
namespace protocol::remote::detail {

// The payload zero-padded (or cut) to a record's size, so a short record never
// reads past what arrived.
template <std::size_t N>
std::array<std::uint8_t, N> Padded(std::span<const std::uint8_t> payload) {
  std::array<std::uint8_t, N> out{};
  std::copy_n(payload.begin(), std::min(N, payload.size()), out.begin());
  return out;
}

inline std::int16_t GetI16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::int16_t>(platform::GetU16(b, at));
}
inline void PutI16(std::span<std::uint8_t> b, std::size_t at, std::int16_t v) {
  platform::PutU16(b, at, static_cast<std::uint16_t>(v));
}

// NUL-terminated 8-bit text within `field`.
inline std::string Text(std::span<const std::uint8_t> field) {
  const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
  return std::string(field.begin(), end);
}

// At most field.size() - 1 bytes of `text`, the rest of the field zeros.
inline void PutText(std::span<std::uint8_t> field, std::string_view text) {
  std::fill(field.begin(), field.end(), std::uint8_t{0});
  if (field.empty()) return;
  std::copy_n(text.begin(), std::min(text.size(), field.size() - 1), field.begin());
}

}  // namespace protocol::remote::detail
