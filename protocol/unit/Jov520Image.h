#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/unit/FieldRow.h"

namespace protocol::unit {

// The JOV520 drive card: name, auto repeat, front blue LED.
struct Jov520Image {
  static constexpr std::size_t kName = 8;
  static constexpr std::size_t kFlags = 24;  // bit 0: auto repeat (the remote's page)
  static constexpr std::uint8_t kAutoRepeatBit = 0x01;
  static constexpr std::size_t kLedBrightness = 27;  // u8
  static constexpr std::size_t kEnd = kLedBrightness + 1;

  static constexpr FieldRow kNameField = NameField("name", kName, "CD Drive");
  static constexpr FieldRow kAutoRepeatField =
      BitsField("auto repeat", kFlags, FieldKind::kU8, kAutoRepeatBit, kOffOn, 0);
  static constexpr FieldRow kLedBrightnessField =
      NumberField("LED brightness", kLedBrightness, FieldKind::kU8, 0, 100, 50, "%");
  static constexpr FieldRow kFields[] = {kNameField, kAutoRepeatField, kLedBrightnessField};
};

}  // namespace protocol::unit
