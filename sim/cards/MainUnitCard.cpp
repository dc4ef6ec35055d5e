// The main unit's own options; live commands do not reach its image.
#include "protocol/unit/MainUnitImage.h"
#include "sim/ImageFields.h"
#include "sim/cards/Cards.h"

namespace sim::cards {

namespace {

using Img = protocol::unit::MainUnitImage;

// The unit keeps more than the page edits; the rest is its own.
constexpr std::uint16_t kLength = 128;
constexpr std::uint8_t kDefaultVolumeStep = 5;    // "0.5 dB"
constexpr std::uint16_t kDefaultAltScreen = 300;  // "5 min"

void Fill(std::span<std::uint8_t> image) {
  platform::PutU16(image, Img::kHddOption, 0);
  platform::PutU16(image, Img::kOptions, Img::kClockDisplayBit);  // English, clock shown
  image[Img::kVolumeStep] = kDefaultVolumeStep;
  platform::PutU16(image, Img::kAltScreen, kDefaultAltScreen);
}

}  // namespace

const CardModel kMainUnit = {kLength, Fill, nullptr};

}  // namespace sim::cards
