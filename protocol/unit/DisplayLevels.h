#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "protocol/unit/UnitCommand.h"

namespace protocol::unit {

// The eight display and indicator settings in the order of the command 33
// reply, each a triple (value, minimum, maximum).
enum class DisplaySetting : std::uint8_t {
  kBrightnessOn = 0,
  kBrightnessOff = 1,
  kContrast = 2,
  kPeakmeterDelay = 3,
  kLedZEL520Front = 4,
  kLedZEL520Rear = 5,
  kLedTWR520 = 6,
  kBrightnessAlternate = 7,
};

struct DisplayLevel {
  std::uint8_t value = 0;
  std::uint8_t min = 0;
  std::uint8_t max = 0;

  bool operator==(const DisplayLevel&) const = default;
};

struct DisplayLevels {
  static constexpr std::size_t kCount = 8;
  static constexpr std::size_t kTripleSize = 3;
  static constexpr std::size_t kValue = 0;
  static constexpr std::size_t kMin = 1;
  static constexpr std::size_t kMax = 2;
  static constexpr std::size_t kSize = kCount * kTripleSize;

  std::array<DisplayLevel, kCount> levels{};

  DisplayLevel& operator[](DisplaySetting s) { return levels[static_cast<std::size_t>(s)]; }
  const DisplayLevel& operator[](DisplaySetting s) const {
    return levels[static_cast<std::size_t>(s)];
  }

  // `in` is the reply data: triple n starts at byte 3n; missing bytes are 0.
  static DisplayLevels Decode(std::span<const std::uint8_t> in);
  std::array<std::uint8_t, kSize> Encode() const;
};

// The command that sets each display setting (value in arg2, address 0).
struct DisplaySettingCommand {
  DisplaySetting setting;
  UnitCommand command;
};
inline constexpr DisplaySettingCommand kDisplaySettingCommands[] = {
    {DisplaySetting::kBrightnessOn, UnitCommand::kBrightnessOn},
    {DisplaySetting::kBrightnessOff, UnitCommand::kBrightnessOff},
    {DisplaySetting::kContrast, UnitCommand::kContrast},
    {DisplaySetting::kPeakmeterDelay, UnitCommand::kPeakmeterDelay},
    {DisplaySetting::kLedZEL520Front, UnitCommand::kLedZEL520Front},
    {DisplaySetting::kLedZEL520Rear, UnitCommand::kLedZEL520Rear},
    {DisplaySetting::kLedTWR520, UnitCommand::kLedTWR520},
    {DisplaySetting::kBrightnessAlternate, UnitCommand::kBrightnessAlternate},
};

// The setting a command code sets; none for every other code.
std::optional<DisplaySetting> DisplaySettingOf(std::uint8_t code);

}  // namespace protocol::unit
