#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/unit/FieldRow.h"

namespace protocol::unit {

// One field of a settings image as a user reads it: "level 2", "input 3 name".
struct SettingsField {
  std::string name;
  std::size_t offset = 0;
  FieldKind kind = FieldKind::kU8;
  std::size_t size = 1;  // bytes the field occupies
  // For numbers: the bits that belong to the field (0: all) and what one
  // step of the value is worth: tenths = value / 10 shown with one decimal.
  std::uint32_t mask = 0;
  bool tenths = false;
  std::string_view unit;  // "dB", "s", "µs", "Hz", "ms", "%"
  // Names of the values 0, 1, ... where the layout gives them ("stereo").
  std::vector<std::string_view> choices;
  int min = 0;  // the range a value may take; min == max: any
  int max = 0;

  // The bits of byte `at` (0 .. size-1 of the field) that the field covers.
  std::uint8_t CoveredBits(std::size_t at) const;
};

// The named fields of the settings image of a module type (the main unit is
// code 0), built from the field table the catalogue names for it. Null for a
// type the catalogue does not list; empty for a card that keeps no image.
const std::vector<SettingsField>* FindFields(std::uint8_t typeCode);

// The same, empty for a type with no row.
const std::vector<SettingsField>& FieldsFor(std::uint8_t typeCode);

// The value of a number field in `image` (its bits shifted down, an i16
// signed); none for a text, date, address or float, or a short image.
std::optional<long> FieldNumber(const SettingsField& field, std::span<const std::uint8_t> image);

// The field's value in `image` as a user reads it ("-12.5 dB", "\"Stereo 1\"",
// "stereo", "2024-01-15"); "" when the image is too short to hold it.
std::string FormatField(const SettingsField& field, std::span<const std::uint8_t> image);

}  // namespace protocol::unit
