#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/unit/FieldRow.h"

namespace protocol::unit {

// The QVO520 output card (types 2 and 3): four levels, four channel
// assignments and the operating mode.
struct Qvo520Image {
  static constexpr std::size_t kName = 8;
  static constexpr std::size_t kLevel1 = 24;   // i16
  static constexpr std::size_t kAssign1 = 28;  // u16, index in the channel list
  static constexpr std::size_t kAssign2 = 30;
  static constexpr std::size_t kMode = 34;  // u16: 0 mono bi-amping, 1 stereo
  static constexpr std::size_t kLevel2 = 36;
  static constexpr std::size_t kLevel3 = 38;
  static constexpr std::size_t kLevel4 = 40;
  static constexpr std::size_t kAssign3 = 42;
  static constexpr std::size_t kAssign4 = 44;
  static constexpr std::size_t kEnd = kAssign4 + 2;
  static constexpr std::size_t kProcessorCount = 2;  // 0 left, 1 right

  // In slider order (command 157) and list order (command 171).
  static constexpr std::array<std::size_t, 4> kLevels = {kLevel1, kLevel2, kLevel3, kLevel4};
  static constexpr std::array<std::size_t, 4> kAssigns = {kAssign1, kAssign2, kAssign3, kAssign4};

  static constexpr std::string_view kModes[] = {"mono bi-amping", "stereo"};
  static constexpr FieldRow kNameField = NameField("name", kName, "Output");
  static constexpr std::array<FieldRow, 4> kLevelFields = {
      OutputLevelField("level 1", kLevel1), OutputLevelField("level 2", kLevel2),
      OutputLevelField("level 3", kLevel3), OutputLevelField("level 4", kLevel4)};
  // Front left, front right, rear left, rear right on a new card.
  static constexpr std::array<FieldRow, 4> kAssignFields = {
      NumberField("channel 1 assignment", kAssign1, FieldKind::kU16, 0, 0, 0),
      NumberField("channel 2 assignment", kAssign2, FieldKind::kU16, 0, 0, 1),
      NumberField("channel 3 assignment", kAssign3, FieldKind::kU16, 0, 0, 2),
      NumberField("channel 4 assignment", kAssign4, FieldKind::kU16, 0, 0, 3)};
  static constexpr FieldRow kModeField = {.name = "mode",
                                          .offset = kMode,
                                          .kind = FieldKind::kU16,
                                          .size = 2,
                                          .defaultValue = 1,
                                          .choices = kModes};
  static constexpr FieldRow kFields[] = {
      kNameField,      kLevelFields[0],  kAssignFields[0], kLevelFields[1],  kAssignFields[1],
      kLevelFields[2], kAssignFields[2], kLevelFields[3],  kAssignFields[3], kModeField};
};

}  // namespace protocol::unit
