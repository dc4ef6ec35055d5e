#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/unit/FieldRow.h"

namespace protocol::unit {

// The TWR310i converter card: name, two output levels, two channel assignments.
struct Twr310iImage {
  static constexpr std::size_t kName = 8;
  static constexpr std::size_t kLevel1 = 24;   // i16
  static constexpr std::size_t kAssign1 = 28;  // u16
  static constexpr std::size_t kAssign2 = 30;  // u16
  static constexpr std::size_t kLevel2 = 32;   // i16
  static constexpr std::size_t kEnd = kLevel2 + 2;

  static constexpr FieldRow kNameField = NameField("name", kName, "Analog Out");
  static constexpr FieldRow kLevel1Field = OutputLevelField("level 1", kLevel1);
  static constexpr FieldRow kLevel2Field = OutputLevelField("level 2", kLevel2);
  // Index in the channel list: front left and front right on a new card.
  static constexpr FieldRow kAssign1Field =
      NumberField("channel 1 assignment", kAssign1, FieldKind::kU16, 0, 0, 0);
  static constexpr FieldRow kAssign2Field =
      NumberField("channel 2 assignment", kAssign2, FieldKind::kU16, 0, 0, 1);
  static constexpr FieldRow kFields[] = {kNameField, kLevel1Field, kLevel2Field, kAssign1Field,
                                         kAssign2Field};
};

}  // namespace protocol::unit
