#include "protocol/unit/DisplayLevels.h"

namespace protocol::unit {

DisplayLevels DisplayLevels::Decode(std::span<const std::uint8_t> in) {
  // A short reply reads as zeros past its end, never beyond it.
  auto byte = [&](std::size_t at) -> std::uint8_t { return at < in.size() ? in[at] : 0; };
  DisplayLevels d;
  for (std::size_t n = 0; n < kCount; ++n) {
    const std::size_t at = kTripleSize * n;
    d.levels[n] = {byte(at + kValue), byte(at + kMin), byte(at + kMax)};
  }
  return d;
}

std::array<std::uint8_t, DisplayLevels::kSize> DisplayLevels::Encode() const {
  std::array<std::uint8_t, kSize> out{};
  for (std::size_t n = 0; n < kCount; ++n) {
    const std::size_t at = kTripleSize * n;
    out[at + kValue] = levels[n].value;
    out[at + kMin] = levels[n].min;
    out[at + kMax] = levels[n].max;
  }
  return out;
}

std::optional<DisplaySetting> DisplaySettingOf(std::uint8_t code) {
  for (const DisplaySettingCommand& row : kDisplaySettingCommands) {
    if (Code(row.command) == code) return row.setting;
  }
  return std::nullopt;
}

}  // namespace protocol::unit
