#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/Bytes.h"
#include "protocol/unit/FieldRow.h"
#include "protocol/unit/SettingsImage.h"

// Writing the fields of a settings image the way the pages write them.
namespace sim {

// Zero-padded text of at most `fieldSize` - 1 characters.
inline void PutName(std::span<std::uint8_t> image, std::size_t at, std::string_view text,
                    std::size_t fieldSize = protocol::unit::SettingsImage::kNameSize) {
  std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at), fieldSize, 0);
  const std::size_t n = std::min(text.size(), fieldSize - 1);
  std::copy_n(text.begin(), n, image.begin() + static_cast<std::ptrdiff_t>(at));
}

inline void PutI16(std::span<std::uint8_t> image, std::size_t at, std::int16_t v) {
  platform::PutU16(image, at, static_cast<std::uint16_t>(v));
}

inline void PutFloat(std::span<std::uint8_t> image, std::size_t at, float v) {
  platform::PutU32(image, at, std::bit_cast<std::uint32_t>(v));
}

// Live values land only where the image has room; a short working copy is not overrun.
inline bool Fits(std::span<const std::uint8_t> image, std::size_t at, std::size_t width) {
  return at + width <= image.size();
}

// A field's default from its layout's table: the text, or the number put
// into the field's bits.
inline void PutDefault(std::span<std::uint8_t> image, const protocol::unit::FieldRow& field) {
  using K = protocol::unit::FieldKind;
  if (!Fits(image, field.offset, field.size)) return;
  if (field.kind == K::kText) {
    PutName(image, field.offset, field.defaultText, field.size);
    return;
  }
  auto value = static_cast<std::uint32_t>(field.defaultValue);
  const std::uint32_t old = field.kind == K::kU8    ? image[field.offset]
                            : field.kind == K::kU32 ? platform::GetU32(image, field.offset)
                                                    : platform::GetU16(image, field.offset);
  if (field.mask != 0)
    value = (old & ~field.mask) | ((value << std::countr_zero(field.mask)) & field.mask);
  if (field.kind == K::kU8) {
    image[field.offset] = static_cast<std::uint8_t>(value);
  } else if (field.kind == K::kU32) {
    platform::PutU32(image, field.offset, value);
  } else {
    platform::PutU16(image, field.offset, static_cast<std::uint16_t>(value));
  }
}

// Every field of a table at its default.
inline void PutDefaults(std::span<std::uint8_t> image,
                        std::span<const protocol::unit::FieldRow> fields) {
  for (const protocol::unit::FieldRow& field : fields) PutDefault(image, field);
}

// Four (or one) u16 of a live command into the image; an offset of
// kIgnoredWord takes a word the page always sends as 0.
inline constexpr std::size_t kIgnoredWord = 0;
template <std::size_t N>
bool PutLiveWords(std::span<const std::uint8_t> data, const std::size_t (&offsets)[N],
                  std::span<std::uint8_t> image) {
  if (data.size() < 2 * N) return false;
  for (std::size_t i = 0; i < N; ++i) {
    if (offsets[i] != kIgnoredWord && Fits(image, offsets[i], 2)) {
      platform::PutU16(image, offsets[i], platform::GetU16(data, 2 * i));
    }
  }
  return true;
}

}  // namespace sim
