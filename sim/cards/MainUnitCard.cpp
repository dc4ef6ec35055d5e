// The main unit's own options; live commands do not reach its image.
#include "protocol/unit/MainUnitImage.h"
#include "sim/ImageFields.h"
#include "sim/cards/Cards.h"

namespace sim::cards {

namespace {

using Img = protocol::unit::MainUnitImage;

// The unit keeps more than the page edits; the rest is its own.
constexpr std::uint16_t kLength = 128;

void Fill(std::span<std::uint8_t> image) {
  PutDefaults(image, Img::kFields);
}

}  // namespace

const CardModel kMainUnit = {kLength, Fill, nullptr};

}  // namespace sim::cards
