#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "protocol/unit/SettingsImage.h"

namespace protocol::unit {

// How the bytes of one field of a settings image read.
enum class FieldKind {
  kU8,
  kU16,
  kI16,
  kU32,
  kF32,   // little-endian IEEE single
  kText,  // zero-padded 8-bit text of `size` bytes
  kDate,  // the identity record's year - 2000, month, day
  kIpv4,  // four bytes, first octet first
  kMac,   // six bytes
};

// Bytes a number of this kind occupies.
constexpr std::size_t NumberWidth(FieldKind kind) {
  switch (kind) {
    case FieldKind::kU8:
      return 1;
    case FieldKind::kU32:
    case FieldKind::kF32:
      return 4;
    default:
      return 2;
  }
}

// One field of a card's settings image, written once beside its layout: the
// backup's compare, the desktop tabs, the remote's pages and the simulator
// all read where it is, how it reads, what it may hold and what a new card
// starts with from here.
struct FieldRow {
  std::string_view name;  // as the backup's compare prints it ("offset 1")
  std::size_t offset = 0;
  FieldKind kind = FieldKind::kU8;
  std::size_t size = 1;
  std::uint32_t mask = 0;      // the bits of the field (0: all of them)
  bool tenths = false;         // the value counts tenths, shown with one decimal
  std::string_view unit = {};  // "dB", "%"
  int min = 0;                 // the range the controls offer; min == max: none
  int max = 0;
  int defaultValue = 0;                            // what a new card holds
  std::string_view defaultText = {};               // the same for a text field
  std::span<const std::string_view> choices = {};  // names of the values 0, 1, ...
  // A row may stand for `count` like fields: the k-th lies `stride` bytes and
  // (for bits of a flags byte) `bitStride` bits further on, and a '#' in its
  // name and default text becomes its number, counted from `first`.
  std::size_t count = 1;
  std::size_t stride = 0;
  unsigned bitStride = 0;
  int first = 1;

  constexpr bool HasRange() const { return min != max; }
  constexpr bool InRange(long value) const { return !HasRange() || (value >= min && value <= max); }
  constexpr std::size_t End() const { return offset + size; }

  // The k-th of the fields the row stands for (its name keeps the '#').
  constexpr FieldRow At(std::size_t k) const {
    FieldRow one = *this;
    one.offset = offset + k * stride;
    one.mask = mask << (k * bitStride);
    one.count = 1;
    one.first = first + static_cast<int>(k);
    return one;
  }
  // The k-th field's name and default text with its number in place of '#'.
  std::string NameAt(std::size_t k) const;
  std::string DefaultTextAt(std::size_t k) const;
};

// `count` fields `stride` bytes apart, numbered from `first`.
constexpr FieldRow Repeated(FieldRow row, std::size_t count, std::size_t stride, int first = 1) {
  row.count = count;
  row.stride = stride;
  row.first = first;
  return row;
}

// `count` one-bit flags of one byte, bit k for field k + 1.
constexpr FieldRow FlagPerField(FieldRow row, std::size_t count) {
  row.count = count;
  row.bitStride = 1;
  return row;
}

// A 16-byte name.
constexpr FieldRow NameField(std::string_view name, std::size_t offset,
                             std::string_view defaultText) {
  return {.name = name,
          .offset = offset,
          .kind = FieldKind::kText,
          .size = SettingsImage::kNameSize,
          .defaultText = defaultText};
}

// An i16 level in tenths of a dB, shown as `LevelText` shows it.
constexpr FieldRow LevelField(std::string_view name, std::size_t offset, int min, int max,
                              int defaultValue) {
  return {.name = name,
          .offset = offset,
          .kind = FieldKind::kI16,
          .size = 2,
          .tenths = true,
          .unit = "dB",
          .min = min,
          .max = max,
          .defaultValue = defaultValue};
}

// An output card's level: -30.0 to +10.0 dB, 0.0 dB on a new card.
constexpr FieldRow OutputLevelField(std::string_view name, std::size_t offset) {
  return LevelField(name, offset, -300, 100, 0);
}

// A whole number of `kind` in [min, max].
constexpr FieldRow NumberField(std::string_view name, std::size_t offset, FieldKind kind, int min,
                               int max, int defaultValue, std::string_view unit = {}) {
  return {.name = name,
          .offset = offset,
          .kind = kind,
          .size = NumberWidth(kind),
          .unit = unit,
          .min = min,
          .max = max,
          .defaultValue = defaultValue};
}

// The bits `mask` of a byte or word; `defaultValue` is the field's value,
// shifted down.
constexpr FieldRow BitsField(std::string_view name, std::size_t offset, FieldKind kind,
                             std::uint32_t mask, std::span<const std::string_view> choices,
                             int defaultValue) {
  return {.name = name,
          .offset = offset,
          .kind = kind,
          .size = NumberWidth(kind),
          .mask = mask,
          .defaultValue = defaultValue,
          .choices = choices};
}

// The text every program shows of a level in tenths of a dB: "-12.5 dB".
inline constexpr std::string_view kLevelFormat = "%.1lf dB";
std::string LevelText(int tenths);

// A value in tenths with one decimal, then the unit when there is one.
std::string TenthsText(long tenths, std::string_view unit);

// Choices the layouts share.
inline constexpr std::string_view kOffOn[] = {"off", "on"};
inline constexpr std::string_view kNoYes[] = {"no", "yes"};

// The 16-byte names of `count` inputs from `first` on: "input 1 name", ...,
// holding `defaultText` with the input's number for '#' on a new card.
constexpr FieldRow InputNameFields(std::size_t first, std::size_t count,
                                   std::string_view defaultText = "Input #") {
  return Repeated(NameField("input # name", first, defaultText), count, SettingsImage::kNameSize);
}

// One bit per input of the byte at `offset`, bit 0 for input 1: "input # CD".
constexpr FieldRow InputFlagFields(std::string_view name, std::size_t offset, std::size_t count) {
  return FlagPerField(BitsField(name, offset, FieldKind::kU8, 0x01, kNoYes, 0), count);
}

}  // namespace protocol::unit
