#include "sim/cards/DisplaySettings.h"

namespace sim::cards {

namespace {

using protocol::unit::DisplayLevel;
using protocol::unit::DisplaySetting;

struct Default {
  DisplaySetting setting;
  DisplayLevel level;
};
constexpr Default kDefaults[] = {
    {DisplaySetting::kBrightnessOn, {12, 0, 15}},
    {DisplaySetting::kBrightnessOff, {2, 0, 15}},
    {DisplaySetting::kBrightnessAlternate, {6, 0, 15}},
    {DisplaySetting::kContrast, {32, 0, 63}},
    {DisplaySetting::kPeakmeterDelay, {10, 0, 50}},
    {DisplaySetting::kLedTWR520, {50, 0, 100}},
    {DisplaySetting::kLedZEL520Front, {50, 0, 100}},
    {DisplaySetting::kLedZEL520Rear, {30, 0, 100}},
};
static_assert(std::size(kDefaults) == protocol::unit::DisplayLevels::kCount);

}  // namespace

protocol::unit::DisplayLevels DefaultDisplayLevels() {
  protocol::unit::DisplayLevels levels;
  for (const Default& d : kDefaults) levels[d.setting] = d.level;
  return levels;
}

}  // namespace sim::cards
