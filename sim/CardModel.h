#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "protocol/unit/Frame.h"

// What the simulated unit knows about each kind of module: the size and
// defaults of its settings image and where live values land in it. Pure data
// and arithmetic: no I/O, no locking.
namespace sim {

// The type code the simulated main unit reports in its own descriptor; the
// desktop never looks it up.
inline constexpr std::uint8_t kMainUnitType = 0;

struct CardModel {
  // Settings image size the module announces (0 = no settings).
  std::uint16_t settingsLength;
  // Factory defaults into an image of `settingsLength` bytes, zeroed before.
  void (*fillDefaults)(std::span<std::uint8_t> image);
  // A live command of the unit link into the image; false when the card does
  // not take it (the exchange still succeeds). Null: the card takes none.
  bool (*applyLive)(const protocol::unit::Request& request, std::span<std::uint8_t> image);
};

// The model of a type code; null for a type the simulator does not know.
const CardModel* FindCardModel(std::uint8_t type);

// Settings image size a module of this type announces (0 = no settings).
std::uint16_t DefaultSettingsLength(std::uint8_t type);

// The factory defaults of a module's settings image, `DefaultSettingsLength`
// bytes long. Bytes 0-7 (identity) are zero; the unit fills them.
std::vector<std::uint8_t> DefaultSettings(std::uint8_t type);

// A live-value command (157, 171, 172, 159, 160, 170; 175 for a KLF310 channel
// record) sent to a module of this type, as the whole request frame: store the
// value(s) where the settings image keeps them. False for a frame this type
// does not take.
bool ApplyLiveValue(std::uint8_t type, std::span<const std::uint8_t> frame,
                    std::span<std::uint8_t> image);

}  // namespace sim
