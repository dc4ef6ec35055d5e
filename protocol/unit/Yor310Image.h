#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/unit/FieldRow.h"

namespace protocol::unit {

// The YOR310 card: name and two offset levels.
struct Yor310Image {
  static constexpr std::size_t kName = 8;
  static constexpr std::size_t kOffset1 = 24;  // i16
  static constexpr std::size_t kOffset2 = 26;  // i16
  static constexpr std::size_t kEnd = kOffset2 + 2;

  static constexpr FieldRow kNameField = NameField("name", kName, "Offset");
  // An offset only raises the level: 0.0 to 48.0 dB.
  static constexpr FieldRow kOffset1Field = LevelField("offset 1", kOffset1, 0, 480, 0);
  static constexpr FieldRow kOffset2Field = LevelField("offset 2", kOffset2, 0, 480, 0);
  static constexpr FieldRow kFields[] = {kNameField, kOffset1Field, kOffset2Field};
};

}  // namespace protocol::unit
