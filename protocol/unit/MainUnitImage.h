#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/unit/FieldRow.h"

namespace protocol::unit {

// The main unit's settings image (module address 0), beyond its identity record.
// Every other byte is the unit's and goes back as read.
struct MainUnitImage {
  static constexpr std::size_t kHddOption = 8;  // u16, bit 0
  static constexpr std::uint16_t kHddOptionBit = 1u << 0;
  static constexpr std::size_t kOptions = 64;             // u16
  static constexpr std::uint16_t kLanguageBit = 1u << 1;  // 0 English, 1 Deutsch
  static constexpr std::uint16_t kClockDisplayBit = 1u << 10;
  static constexpr std::size_t kVolumeStep = 77;  // u8, tenths of a dB
  static constexpr std::size_t kAltScreen = 106;  // u16, seconds, 0 = off
  static constexpr std::size_t kEnd = kAltScreen + 2;

  static constexpr std::string_view kLanguages[] = {"English", "Deutsch"};
  static constexpr std::string_view kAltScreenOff[] = {"off"};  // other values are seconds
  static constexpr FieldRow kHddOptionField =
      BitsField("HDD option", kHddOption, FieldKind::kU16, kHddOptionBit, kOffOn, 0);
  static constexpr FieldRow kLanguageField =
      BitsField("language", kOptions, FieldKind::kU16, kLanguageBit, kLanguages, 0);
  static constexpr FieldRow kClockDisplayField =
      BitsField("clock display", kOptions, FieldKind::kU16, kClockDisplayBit, kOffOn, 1);
  // 0.1 to 1.0 dB a step, 0.5 dB on a new unit.
  static constexpr FieldRow kVolumeStepField = {.name = "volume step",
                                                .offset = kVolumeStep,
                                                .kind = FieldKind::kU8,
                                                .size = 1,
                                                .tenths = true,
                                                .unit = "dB",
                                                .min = 1,
                                                .max = 10,
                                                .defaultValue = 5};
  // Off, or 5 s to an hour; five minutes on a new unit.
  static constexpr FieldRow kAltScreenField = {.name = "alternative screen",
                                               .offset = kAltScreen,
                                               .kind = FieldKind::kU16,
                                               .size = 2,
                                               .unit = "s",
                                               .min = 0,
                                               .max = 3600,
                                               .defaultValue = 300,
                                               .choices = kAltScreenOff};
  static constexpr FieldRow kFields[] = {kHddOptionField, kLanguageField, kClockDisplayField,
                                         kVolumeStepField, kAltScreenField};
};

}  // namespace protocol::unit
