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

// A number into a field's bits, the other bits of its bytes kept.
inline void PutNumber(std::span<std::uint8_t> image, const protocol::unit::FieldRow& field,
                      std::uint32_t value) {
  using K = protocol::unit::FieldKind;
  if (!Fits(image, field.offset, field.size)) return;
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

// Every field of a table at its default: the text, or the number put into
// the field's bits. Addresses and floats have none in the table and
// stay as zeroed.
inline void PutDefaults(std::span<std::uint8_t> image,
                        std::span<const protocol::unit::FieldRow> fields) {
  using K = protocol::unit::FieldKind;
  for (const protocol::unit::FieldRow& row : fields) {
    for (std::size_t k = 0; k < row.count; ++k) {
      const protocol::unit::FieldRow field = row.At(k);
      if (!Fits(image, field.offset, field.size)) continue;
      if (field.kind == K::kText) {
        PutName(image, field.offset, row.DefaultTextAt(k), field.size);
      } else if (field.kind == K::kU8 || field.kind == K::kU16 || field.kind == K::kI16 ||
                 field.kind == K::kU32) {
        PutNumber(image, field, static_cast<std::uint32_t>(field.defaultValue));
      }
    }
  }
}

// The live words of a command into the fields they set; null takes a word
// the page always sends as 0. A value outside its field's range is not
// taken, and then no word of the command is.
template <std::size_t N>
bool PutLiveFields(std::span<const std::uint8_t> data,
                   const protocol::unit::FieldRow* const (&fields)[N],
                   std::span<std::uint8_t> image) {
  using K = protocol::unit::FieldKind;
  if (data.size() < 2 * N) return false;
  for (std::size_t i = 0; i < N; ++i) {
    if (fields[i] == nullptr) continue;
    const std::uint16_t word = platform::GetU16(data, 2 * i);
    const long value = fields[i]->kind == K::kI16 ? static_cast<std::int16_t>(word) : word;
    if (!fields[i]->InRange(value)) return false;
  }
  for (std::size_t i = 0; i < N; ++i) {
    if (fields[i] != nullptr) PutNumber(image, *fields[i], platform::GetU16(data, 2 * i));
  }
  return true;
}

}  // namespace sim
