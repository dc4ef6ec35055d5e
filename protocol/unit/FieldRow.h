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

  constexpr bool HasRange() const { return min != max; }
  constexpr std::size_t End() const { return offset + size; }
};

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

}  // namespace protocol::unit
