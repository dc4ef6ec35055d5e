#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/unit/FieldRow.h"

namespace protocol::unit {

// The NVO310 converter card: seven analogue inputs in three groups.
struct Nvo310Image {
  // Names, 16 bytes each: stereo 1-4, the 5.1 input, the stereo input of its
  // group, the 7.1 input.
  static constexpr std::size_t kFirstName = 8;
  static constexpr std::size_t kInputCount = 7;
  static constexpr std::size_t kDisable = 120;  // bits 0-6 in name order: input switched off
  static constexpr std::size_t kFlags = 122;    // bit 0 high-pass, bits 1-2 active group
  static constexpr std::uint8_t kHighPassBit = 0x01;
  static constexpr unsigned kGroupShift = 1;
  static constexpr std::uint8_t kGroupMask = 0x06;
  static constexpr std::uint8_t kGroupStereo = 0;
  static constexpr std::uint8_t kGroupMc51 = 2;
  static constexpr std::uint8_t kGroupMc71 = 4;
  static constexpr std::size_t kEnd = kFlags + 1;

  static constexpr std::size_t NameOffset(std::size_t i) { return kFirstName + 16 * i; }

  // The group codes 0, 2 and 4 read 0, 1 and 2 in the group bits.
  static constexpr std::string_view kGroups[] = {"stereo", "5.1", "7.1"};
  static constexpr FieldRow kHighPassField =
      BitsField("high-pass filter", kFlags, FieldKind::kU8, kHighPassBit, kOffOn, 0);
  static constexpr FieldRow kGroupField =
      BitsField("active group", kFlags, FieldKind::kU8, kGroupMask, kGroups, 0);
  static constexpr FieldRow kFields[] = {
      InputNameFields(kFirstName, 4, "Stereo #"),
      NameField("input 5 name", kFirstName + 16 * 4, "MC 5.1"),
      NameField("input 6 name", kFirstName + 16 * 5, "Stereo 5"),
      NameField("input 7 name", kFirstName + 16 * 6, "MC 7.1"),
      InputFlagFields("input # switched off", kDisable, kInputCount),
      kHighPassField,
      kGroupField,
  };
};

}  // namespace protocol::unit
