#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/unit/FieldRow.h"

namespace protocol::unit {

// The HEJ520 card: three digital inputs, two channel assignments, the output rate.
struct Hej520Image {
  static constexpr std::size_t kFirstName = 8;  // names of inputs 1-3, 16 bytes each
  static constexpr std::size_t kInputCount = 3;
  static constexpr std::size_t kAssign1 = 56;  // u16
  static constexpr std::size_t kAssign2 = 58;  // u16
  static constexpr std::size_t kDisable = 60;  // bit k: input k+1 switched off
  static constexpr std::size_t kCd = 61;       // bit k: input k+1 marked "CD"
  static constexpr std::size_t kRate = 62;     // 0 44.1 kHz, 1 48 kHz, 2 96 kHz
  static constexpr std::size_t kEnd = kRate + 1;

  static constexpr std::size_t NameOffset(std::size_t i) { return kFirstName + 16 * i; }

  static constexpr std::string_view kRates[] = {"44.1 kHz", "48 kHz", "96 kHz"};
  static constexpr FieldRow kNameFields = InputNameFields(kFirstName, kInputCount);
  static constexpr FieldRow kDisableFields =
      InputFlagFields("input # switched off", kDisable, kInputCount);
  static constexpr FieldRow kCdFields = InputFlagFields("input # CD", kCd, kInputCount);
  // Index in the channel list: front left and front right on a new card.
  static constexpr FieldRow kAssign1Field =
      NumberField("channel 1 assignment", kAssign1, FieldKind::kU16, 0, 0, 0);
  static constexpr FieldRow kAssign2Field =
      NumberField("channel 2 assignment", kAssign2, FieldKind::kU16, 0, 0, 1);
  static constexpr FieldRow kRateField = {.name = "output rate",
                                          .offset = kRate,
                                          .kind = FieldKind::kU8,
                                          .size = 1,
                                          .min = 0,
                                          .max = 2,
                                          .defaultValue = 1,
                                          .choices = kRates};
  static constexpr FieldRow kFields[] = {kNameFields,   kDisableFields, kCdFields,
                                         kAssign1Field, kAssign2Field,  kRateField};
};

}  // namespace protocol::unit
